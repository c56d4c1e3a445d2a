// Closing tokens right before a term character.
var a = "x"b, c = "y"_1;
/* note */d = 2; /**/e
var f = "z";
