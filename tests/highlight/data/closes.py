# Closing tokens right before a term character.
a = 'x'b + "y"_1
class P:
    def __init__x(self): pass
b = 'z'
