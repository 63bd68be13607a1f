#!/usr/bin/env python3
"""Figures of the source tree for reviews of its structure.

    scripts/source_figures.py [ROOT] [--longest N] [--folder src/optimizer]

Prints, per folder of src/: lines, functions, the longest function, functions over 80 lines and
the count of static_cast<size_t>; then the N longest functions of the folder given. A function
is a definition that starts at the left margin (or one indentation level inside a class body)
and ends at its closing brace on the same margin, which is how the sources are laid out.
"""
import argparse
import os
import re
import sys

LIMIT = 80
START = re.compile(r'^(?P<indent> {0,2})(?!namespace|struct|class|enum|union|extern|template\b|#|//|\}|case\b)'
                   r'[A-Za-z_~][^;]*\)\s*(const\s*)?(noexcept\s*)?(override\s*)?(->\s*[^{]+)?\{\s*(//.*)?$')


def functions(path):
    """(name, first line, length) of every function definition in the file."""
    lines = open(path, encoding='utf-8', errors='replace').read().split('\n')
    found = []
    i = 0
    while i < len(lines):
        line = lines[i]
        # A signature may span lines: join up to four lines back to the one that opens it.
        m = START.match(line)
        head = i
        if not m and line.rstrip().endswith('{') and not line.startswith(' ' * 3):
            for back in range(1, 5):
                if i - back < 0:
                    break
                joined = ' '.join(l.strip() for l in lines[i - back:i + 1])
                first = lines[i - back]
                if re.match(r'^ {0,2}[A-Za-z_~]', first) and START.match(first[:len(first) - len(first.lstrip())] + joined):
                    m = START.match(first[:len(first) - len(first.lstrip())] + joined)
                    head = i - back
                    break
        if m and not lines[head].lstrip().startswith(('if ', 'for ', 'while ', 'switch ', 'else', 'do ', 'return ')):
            indent = m.group('indent')
            close = re.compile('^' + indent + r'\}')
            j = i
            if line.rstrip().endswith('}') and line.count('{') == line.count('}'):
                i += 1
                continue  # a one-line body
            while j + 1 < len(lines) and not close.match(lines[j + 1]):
                j += 1
            name = re.sub(r'\(.*', '', lines[head].strip()).split()[-1] if '(' in lines[head] else lines[head].strip()
            found.append((name, head + 1, j + 2 - head))
            i = j + 2
            continue
        i += 1
    return found


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('root', nargs='?', default='.')
    ap.add_argument('--longest', type=int, default=10)
    ap.add_argument('--folder', default='src/optimizer')
    a = ap.parse_args()
    src = os.path.join(a.root, 'src')
    total_casts = 0
    print('folder\tlines\tfunctions\tlongest\tover_%d\tstatic_cast<size_t>' % LIMIT)
    for folder in sorted(os.listdir(src)):
        d = os.path.join(src, folder)
        if not os.path.isdir(d):
            continue
        n_lines = casts = 0
        fns = []
        for f in sorted(os.listdir(d)):
            if not f.endswith(('.cpp', '.hpp', '.h')):
                continue
            p = os.path.join(d, f)
            text = open(p, encoding='utf-8', errors='replace').read()
            n_lines += text.count('\n')
            casts += text.count('static_cast<size_t>')
            fns += [(f, *x) for x in functions(p)]
        total_casts += casts
        longest = max((x[3] for x in fns), default=0)
        over = sum(1 for x in fns if x[3] > LIMIT)
        print('%s\t%d\t%d\t%d\t%d\t%d' % (folder, n_lines, len(fns), longest, over, casts))
    print('all\t\t\t\t\t%d' % total_casts)
    d = os.path.join(a.root, a.folder)
    fns = []
    for f in sorted(os.listdir(d)):
        if f.endswith(('.cpp', '.hpp')):
            fns += [(f, *x) for x in functions(os.path.join(d, f))]
    fns.sort(key=lambda x: -x[3])
    print('\nlongest functions of %s:' % a.folder)
    for f, name, line, length in fns[:a.longest]:
        print('%5d  %s:%d  %s' % (length, f, line, name))


if __name__ == '__main__':
    sys.exit(main())
