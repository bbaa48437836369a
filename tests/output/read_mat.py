"""Lists a MAT-file as scipy reads it, one line per variable:
"name rows cols class hex,hex,..." with each value's IEEE-754 bits as 16
lower-case hex digits. With --list: "name rows cols class" for every element
in file order (repeated names included), as scipy.io.whosmat reports them."""
import sys
import warnings

import numpy as np
import scipy.io


def main(argv):
    if len(argv) == 3 and argv[1] == "--list":
        for name, shape, cls in scipy.io.whosmat(argv[2]):
            print(name, shape[0], shape[1], cls)
        return 0
    path = argv[1]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        contents = scipy.io.loadmat(path)
    for name, value in contents.items():
        if name.startswith("__"):
            continue
        if value.dtype != np.float64:
            print(name, "unexpected dtype", value.dtype)
            continue
        bits = np.ascontiguousarray(value.ravel(order="F")).view("<u8")
        hexes = ",".join("%016x" % int(b) for b in bits)
        print(name, value.shape[0], value.shape[1], "double", hexes)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
