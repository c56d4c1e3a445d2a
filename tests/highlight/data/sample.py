#!/usr/bin/env python3
import string, sys
# Written for the Python scheme's reference tokens.

class Panel(object):
    def __init__(self, name):
        self.name = name + '_panel'
        self.count += 1

    def __repr__(self):
        return "Panel(%r)" % self.name

if len(sys.argv)==1:
    print('usage: panel name ...')
    sys.exit(0)
try:
    value = int(sys.argv[1]) ** 2
except ValueError:
    raise SystemExit("not a number")
