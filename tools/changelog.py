#!/usr/bin/env python3
"""Turns CHANGELOG.md into what the packages carry: the Debian changelog of a native package
and the AppStream releases. Fails when the newest release is not the version being packaged.

  changelog.py CHANGELOG.md --version V --debian PACKAGE "MAINTAINER <MAIL>"
  changelog.py CHANGELOG.md --version V --metainfo TEMPLATE   (its @RELEASES@ line becomes <releases>)
"""
import argparse
import datetime
import email.utils
import re
import sys
import textwrap
from xml.sax.saxutils import escape

HEADING = re.compile(r"^## (\S+) \((\d{4}-\d{2}-\d{2})\)$")


def fail(message):
    sys.exit(f"changelog.py: {message}")


def read_releases(path):
    """[(version, date, [item, ...]), ...], newest first, as the file lists them."""
    releases = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            heading = HEADING.match(line)
            if line.startswith("## ") and not heading:
                fail(f"{path}:{number}: a release heading is '## <version> (<YYYY-MM-DD>)'")
            if heading:
                date = datetime.date.fromisoformat(heading.group(2))
                releases.append((heading.group(1), date, []))
            elif not releases or not line.strip():
                continue
            elif line.startswith("- "):
                releases[-1][2].append(line[2:].strip())
            elif line.startswith("  ") and releases[-1][2]:
                releases[-1][2][-1] += " " + line.strip()
            else:
                fail(f"{path}:{number}: expected '- ' or a line indented by two spaces")
    if not releases:
        fail(f"{path}: no release")
    for version, _, items in releases:
        if not items:
            fail(f"{path}: release {version} lists no change")
    return releases


def plain(item):
    """Markdown's code marks left out: both targets show plain text."""
    return item.replace("`", "")


def debian(releases, package, maintainer):
    out = []
    for version, date, items in releases:
        out.append(f"{package} ({version}) unstable; urgency=medium\n\n")
        for item in items:
            out.append(textwrap.fill(plain(item), width=78, initial_indent="  * ",
                                     subsequent_indent="    ", break_on_hyphens=False) + "\n")
        # CHANGELOG.md gives the day only; noon UTC stands for the time.
        moment = datetime.datetime.combine(date, datetime.time(12), datetime.timezone.utc)
        out.append(f"\n -- {maintainer}  {email.utils.format_datetime(moment)}\n\n")
    return "".join(out).rstrip("\n") + "\n"


def metainfo(releases, template):
    lines = ["  <releases>"]
    for version, date, items in releases:
        lines.append(f'    <release version="{escape(version)}" date="{date.isoformat()}">')
        lines.append("      <description>")
        lines.append("        <ul>")
        lines += [f"          <li>{escape(plain(item))}</li>" for item in items]
        lines.append("        </ul>")
        lines.append("      </description>")
        lines.append("    </release>")
    lines.append("  </releases>")
    with open(template, encoding="utf-8") as f:
        text = f.read()
    if text.count("\n  @RELEASES@\n") != 1:
        fail(f"{template}: needs exactly one line '  @RELEASES@'")
    return text.replace("  @RELEASES@", "\n".join(lines))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("changelog")
    parser.add_argument("--version", required=True)
    target = parser.add_mutually_exclusive_group(required=True)
    target.add_argument("--debian", nargs=2, metavar=("PACKAGE", "MAINTAINER"))
    target.add_argument("--metainfo", metavar="TEMPLATE")
    args = parser.parse_args()

    releases = read_releases(args.changelog)
    if releases[0][0] != args.version:
        fail(f"the newest release in {args.changelog} is {releases[0][0]}, not {args.version}")
    if args.debian:
        sys.stdout.write(debian(releases, *args.debian))
    else:
        sys.stdout.write(metainfo(releases, args.metainfo))


if __name__ == "__main__":
    main()
