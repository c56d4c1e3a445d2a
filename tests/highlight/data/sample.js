/* Colours of the hangar panel.
   Written for the JavaScript scheme's reference tokens. */
// Syntax highlighting
function shade(colour, percent) {
  var value = parseInt(colour.substring(1), 16);
  var out = "";
  for (var i = 0; i <= 2; i++) {
    out += Math.round(value * percent / 100).toString(16);
    value -= 1.0;
  }
  if (out.length === 0 || typeof out != "string") return null;
  return "#" + out; // "never" here
}
window.onLoad = function () { document.write(shade("#FF8800", 50)); };
body.onresize = shade;  @ // illegal character
