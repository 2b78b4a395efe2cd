#!/usr/bin/env python3
"""The loaders' work written with Python's json module, the peer scripts/bench
compares against: MODE (fxt or lines) turns the bytes of INPUT into the JSON
text, RUNS times, each run timed; prints the median in seconds and writes the
text of the last run to OUTPUT."""

import json
import statistics
import sys
import time

# Unicode White_Space. str.strip() alone would also strip U+001C..U+001F.
WHITE_SPACE = ('\t\n\v\f\r \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006'
               '\u2007\u2008\u2009\u200a\u2028\u2029\u202f\u205f\u3000')


def fxt(data):
    try:
        text = data.decode('utf-8')
    except UnicodeDecodeError:
        return None
    table = {}
    for line in text.split('\n'):
        line = line.strip(WHITE_SPACE)
        if not line or line[0] in '#;':
            continue
        key, blank, value = line.partition(' ')
        if blank:
            table[key] = value
    if not table:
        return None
    # UTF-8 orders text as code points do: sorting the strings sorts the bytes.
    ordered = {key: table[key] for key in sorted(table)}
    return json.dumps(ordered, ensure_ascii=False, separators=(',', ':')).encode('utf-8')


def lines(data):
    end = data.find(b'\x1a')
    if end >= 0:
        data = data[:end]
    # Bytes that are not UTF-8 pass through as lone surrogates and back.
    text = data.decode('utf-8', 'surrogateescape').replace('\r\n', '\n')
    items = text.split('\n')
    if items[-1] == '':
        items.pop()
    return json.dumps(items, ensure_ascii=False,
                      separators=(',', ':')).encode('utf-8', 'surrogateescape')


def main():
    mode, input_path, output_path, runs = sys.argv[1:]
    convert = {'fxt': fxt, 'lines': lines}[mode]
    with open(input_path, 'rb') as file:
        data = file.read()
    times = []
    result = None
    for _ in range(int(runs)):
        result = None
        start = time.perf_counter()
        result = convert(data)
        times.append(time.perf_counter() - start)
    with open(output_path, 'wb') as file:
        file.write(result or b'')
    print(statistics.median(times))


if __name__ == '__main__':
    main()
