#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Turns the password-rules list (JSON) into a C++ table sorted by domain, so that the programs
carry it without reading JSON at run time. Usage: known-rules-table.py <list.json> <out.cpp>"""

import json
import sys


def literal(text):
    """A u"" literal that keeps the source ASCII: quotes, backslashes and non-ASCII escaped."""
    out = []
    for c in text:
        if c in '"\\':
            out.append('\\' + c)
        elif ' ' <= c <= '~':
            out.append(c)
        elif ord(c) > 0xFFFF:
            out.append('\\U%08x' % ord(c))
        else:
            out.append('\\u%04x' % ord(c))
    return 'u"' + ''.join(out) + '"'


def main():
    source, target = sys.argv[1], sys.argv[2]
    with open(source, encoding='utf-8') as f:
        entries = json.load(f)
    rows = []
    for domain in sorted(entries, key=lambda d: d.lower()):
        rule = entries[domain].get('password-rules')
        if isinstance(rule, str):
            rows.append('    {%s, %s},' % (literal(domain.lower()), literal(rule)))
    with open(target, 'w', encoding='ascii', newline='\n') as f:
        f.write('// Generated from %s; do not edit.\n' % source.rsplit('/', 1)[-1])
        f.write('#include "sites/KnownRules.h"\n\n#include <array>\n\n')
        f.write('std::span<const TKvKnownRule> KnownRules() {\n')
        f.write('  static constexpr std::array<TKvKnownRule, %d> table{{\n' % len(rows))
        f.write('\n'.join(rows))
        f.write('\n  }};\n  return table;\n}\n')


if __name__ == '__main__':
    main()
