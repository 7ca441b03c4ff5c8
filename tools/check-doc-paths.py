#!/usr/bin/env python3
"""Checks that every path of the tree the documents name exists: in docs/*.md, README.md and
bench/RESULTS.md, a word that starts with one of the tree's folders (src/, host/, app/, tools/,
bench/, tests/, docs/, examples/, cmake/) and ends in a file's extension or a "/" must be a file or
a folder. A pattern (tests/<layer>/, reader_<statement>_test.cpp) is checked up to its first
"<"; a built program (bench/sscp_bench, no extension) is not checked.

A path a document names on purpose though it is gone (an entry of docs/design-record.md about a
file removed since) goes into GONE with its document.

usage: tools/check-doc-paths.py [ROOT]       exit status 1 and one line per missing path
       tools/check-doc-paths.py --self-test  checks the tree, then that a missing path is named
"""
import glob
import os
import re
import sys
import tempfile

HERE = os.path.abspath(os.path.join(os.path.dirname(__file__), '..'))
FOLDERS = ('src', 'host', 'app', 'tools', 'bench', 'tests', 'docs', 'examples', 'cmake')
PATH = re.compile(r'(?<![\w./-])((?:%s)/[\w./-]*)' % '|'.join(FOLDERS))
NAMED = re.compile(r'(/|\.\w+)$')
# (document, path): named on purpose, though the tree no longer has it.
GONE = set()


def documents(root):
    docs = sorted(glob.glob(os.path.join(root, 'docs', '*.md')))
    return docs + [os.path.join(root, p) for p in ('README.md', 'bench/RESULTS.md')
                   if os.path.exists(os.path.join(root, p))]


def missing(root):
    faults = []
    for doc in documents(root):
        name = os.path.relpath(doc, root)
        with open(doc, encoding='utf-8') as f:
            for number, line in enumerate(f, 1):
                for m in PATH.finditer(line):
                    path = m.group(1).rstrip('.')
                    if not NAMED.search(path) or (name, path) in GONE:
                        continue
                    if not os.path.exists(os.path.join(root, path)):
                        faults.append(f'{name}:{number}: {path} does not exist')
    return faults


def self_test():
    with tempfile.TemporaryDirectory() as root:
        os.makedirs(os.path.join(root, 'docs'))
        os.makedirs(os.path.join(root, 'src', 'grammar'))
        os.makedirs(os.path.join(root, 'tests'))
        open(os.path.join(root, 'src', 'grammar', 'slots.h'), 'w').close()
        with open(os.path.join(root, 'docs', 'notes.md'), 'w', encoding='utf-8') as f:
            f.write('The layout (src/grammar/slots.h), `src/grammar/` and tests/<layer>/.\n'
                    'A program: build/bench/sscp_bench, bench/sscp_bench, src/frame/slots.h.\n')
        faults = missing(root)
        expected = ['docs/notes.md:2: src/frame/slots.h does not exist']
        if faults != expected:
            print('self-test: expected %s, got %s' % (expected, faults))
            return False
    return True


def main():
    args = sys.argv[1:]
    root = HERE if not args or args[0] == '--self-test' else os.path.abspath(args[0])
    faults = missing(root)
    for fault in faults:
        print(fault)
    ok = not faults and (args[:1] != ['--self-test'] or self_test())
    return 0 if ok else 1


if __name__ == '__main__':
    sys.exit(main())
