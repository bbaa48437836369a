#!/usr/bin/python3
"""The reduction an engineer would script by hand, for comparison with
vux_reader on the same data file: read the CSV with pandas, apply the default
configuration's equations to the first row of each window, and estimate each
vibration channel's PSD with scipy's Welch (Hann window, one segment per
window, no overlap), rotated by the default permutation.

    /usr/bin/python3 bench/scripted_pipeline.py DATA.csv [WINDOW] [FS]

Prints the number of windows and the elapsed seconds of the whole pipeline.
"""

import sys
import time

import numpy as np
import pandas as pd
import scipy.signal


def main():
    path = sys.argv[1]
    window = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    fs = float(sys.argv[3]) if len(sys.argv) > 3 else 10000.0
    start = time.monotonic()
    with open(path, "rb") as f:
        header_lines = 0
        for line in f:
            header_lines += 1
            if line.rstrip(b"\r\n") == b"Data Starts Here,,,,,,,,,,,,,,,,,,,":
                break
    frame = pd.read_csv(path, skiprows=header_lines, header=0, usecols=range(10), engine="c")
    data = frame.to_numpy(dtype=np.float64)
    windows = len(data) // window
    first = data[: windows * window: window]
    pres = (first[:, 1] + 2500 - 500) / 4500 * 17.4
    ohms = (first[:, 2] + 2500) / ((5000 - (first[:, 2] + 2500)) / 4000)
    temp = (ohms - 1000) / 3.75
    humd = ((((first[:, 3] + 2500) / 5000) - 0.16) / 0.0062) / (1.0546 - 0.00216 * temp)
    factors = [1.23, 1.25, 1.27, 108.4, 100.4, 104.3]
    hann = scipy.signal.get_window("hann", window)
    spectra = []
    for k, factor in enumerate(factors):
        x = data[: windows * window, 4 + k] / factor
        _, pxx = scipy.signal.welch(x, fs=fs, window=hann, nperseg=window, noverlap=0,
                                    detrend="constant", scaling="density")
        spectra.append(pxx)
    rotated = [spectra[i] for i in (1, 2, 0, 5, 4, 3)]
    elapsed = time.monotonic() - start
    print("windows %d, pressure mean %.3f, %d spectra, %.3f s" % (windows, pres.mean(), len(rotated), elapsed))
    _ = humd


if __name__ == "__main__":
    main()
