#!/usr/bin/env python3
"""Judges orvex --ecsv against astropy; usage: ecsv_judge.py FITS HDU=ECSV ...

Prints one line per difference, nothing when all agree.
"""
# The judge: prints one line per difference, nothing when all agree.
# Where astropy's FITS reader is wrong, the difference it makes is
# allowed, and said so:
# - an undefined logical (a zero byte) is read as False, unmasked: FITS
#   makes it null, and orvex writes an empty field;
# - signed bytes (B with TZERO = -128) become float64: orvex says int8,
#   the values agree;
# - an ASCII-table field equal to its TNULLn text is read as 0, unmasked;
# - its ECSV reader strips the blanks around every field, quoted or not:
#   a string's leading blanks are checked through pandas instead; and it
#   reads every empty field of a string column as masked, while its FITS
#   reader masks empty strings of binary tables only.
import sys, warnings
import numpy as np
warnings.simplefilter('ignore')
from astropy.table import Table
import pandas as pd
fits_path = sys.argv[1]
def norm(dt):
    return np.dtype(dt).newbyteorder('<')
def text(v):
    return v.decode('latin-1') if isinstance(v, bytes) else str(v)
for part in sys.argv[2:]:
    hdu, path = part.split('=', 1)
    a = Table.read(fits_path, hdu=int(hdu))
    b = Table.read(path, format='ascii.ecsv')
    where = 'hdu %s' % hdu
    if a.colnames != b.colnames:
        print(where, 'names', a.colnames, b.colnames)
        continue
    if len(a) != len(b):
        print(where, 'rows', len(a), len(b))
        continue
    frame = pd.read_csv(path, comment=None, skiprows=sum(1 for l in open(path) if l.startswith('# ')),
                        keep_default_na=False, dtype=str)
    if list(frame.columns) != a.colnames or len(frame) != len(a):
        print(where, 'pandas', list(frame.columns), len(frame))
    for name in a.colnames:
        x, y = a[name], b[name]
        if (x.unit or None) != (y.unit or None):
            print(where, name, 'unit', x.unit, y.unit)
        xm, ym = np.ma.getmaskarray(x), np.ma.getmaskarray(y)
        if x.dtype.kind == 'O':
            # Variable-length arrays: per row, the same elements, NaN as NaN.
            for r in range(len(x)):
                p, q = np.asarray(x[r]), np.ma.filled(y[r], np.nan)
                if norm(p.dtype) != norm(q.dtype) or p.shape != q.shape:
                    print(where, name, r, 'array', p.dtype, q.dtype, p.shape, q.shape)
                    break
                if not np.array_equal(p, q, equal_nan=p.dtype.kind == 'f'):
                    print(where, name, r, p, q)
                    break
            continue
        if x.dtype.kind == 'S':
            if y.dtype.kind != 'U' or x.shape != y.shape:
                print(where, name, 'strings', x.dtype, y.dtype, x.shape, y.shape)
                continue
            xf, yf = np.ma.filled(x, b''), np.ma.filled(y, '')
            empty = np.vectorize(lambda v: text(v).strip() == '')(xf) if xf.size else xm
            if not np.array_equal(xm | empty, ym):
                print(where, name, 'mask', np.argwhere((xm | empty) != ym).tolist()[:5])
            for r in range(len(x)):
                want = [text(v).rstrip() for v in np.ravel(xf[r])]
                got = list(np.ravel(yf[r]))
                if (want if x.ndim > 1 else [w.strip() for w in want]) != got:
                    print(where, name, r, want, got)
                    break
                if x.ndim == 1 and not xm[r] and frame[name][r] != want[0]:
                    print(where, name, r, 'pandas', repr(frame[name][r]), repr(want[0]))
                    break
            continue
        signed_byte = x.dtype.kind == 'f' and y.dtype == np.int8
        if norm(x.dtype) != norm(y.dtype) and not signed_byte:
            print(where, name, 'dtype', x.dtype, y.dtype)
            continue
        if x.shape != y.shape:
            print(where, name, 'shape', x.shape, y.shape)
            continue
        if x.dtype == bool:
            xm = xm | (ym & ~xm & ~np.ma.filled(x, False))
        if hdu == '3' and x.dtype.kind == 'i':
            xm = xm | (ym & (np.ma.getdata(x) == 0))
        if not np.array_equal(xm, ym):
            print(where, name, 'mask', np.argwhere(xm != ym).tolist()[:5])
            continue
        keep = ~xm
        p = np.ma.getdata(x)[keep]
        q = np.ma.getdata(y)[keep].astype(p.dtype)
        if p.dtype.kind in 'fc':
            same = p.astype(norm(p.dtype)).view(np.uint8) == q.astype(norm(p.dtype)).view(np.uint8)
            bad = not same.all()
        else:
            bad = not np.array_equal(p, q)
        if bad:
            diff = np.argwhere(p != q).ravel()[:3]
            print(where, name, 'values', p[diff].tolist(), q[diff].tolist())
