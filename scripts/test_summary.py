#!/usr/bin/env python3
"""Sums up CTest's JUnit reports for scripts/test: prints one line per skipped test with the
reason its GoogleTest output gives, then "counts P F S" (passed, failed, skipped) on the last
line. Usage: test_summary.py REPORT.xml..."""
import re
import sys
import textwrap
import xml.etree.ElementTree as ElementTree


def skip_reason(output):
    # GoogleTest prints "file:line: Skipped" and the reason on the lines after it.
    match = re.search(r": Skipped\n(.*?)\n\[  SKIPPED \]", output or "", re.S)
    return " ".join(match.group(1).split()) if match and match.group(1).strip() else "no reason given"


def main(paths):
    passed = failed = skipped = 0
    reasons = {}
    for path in paths:
        preset = re.sub(r"\.junit\.xml$", "", path.rsplit("/", 1)[-1])
        try:
            cases = ElementTree.parse(path).getroot().iter("testcase")
        except (OSError, ElementTree.ParseError):
            continue
        for case in cases:
            status = case.get("status")
            if status == "run":
                passed += 1
            elif status == "notrun" and case.find("skipped") is not None:
                skipped += 1
                key = (case.get("name"), skip_reason(case.findtext("system-out")))
                reasons.setdefault(key, []).append(preset)
            else:
                failed += 1
    for (name, reason), presets in sorted(reasons.items()):
        line = f"Skipped test: {name} ({', '.join(presets)}): {reason}"
        print(textwrap.fill(line, width=100, subsequent_indent="    "))
    print(f"counts {passed} {failed} {skipped}")


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] in ("-h", "--help"):
        print(__doc__)
        sys.exit(0)
    main(sys.argv[1:])
