#!/usr/bin/env python3
"""doc/TESTCASES.md and the case vocabulary stay in step: every section and
check the runner knows, every command, control code, packet type and option
the scripted server takes is described there with an example, and the
reference names nothing that does not exist.  Given the client and the
server, the reference's whole example case is run as well.

Usage: testcases_doc_test.py SOURCE_DIR [CLIENT SERVER]"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                         os.path.join(os.path.dirname(__file__), "..", ".."))
PROGRAMS = sys.argv[2:4]
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
import run_case  # noqa: E402


def read(*parts):
    with open(os.path.join(SOURCE, *parts), encoding="utf-8") as f:
        return f.read()


DOC = read("doc", "TESTCASES.md")
PLAYER = read("tools", "buildserver", "scripted.cpp")


def chapter(title):
    m = re.search(r"(?ms)^## %s\n(.*?)(?=^## |\Z)" % re.escape(title), DOC)
    if m is None:
        raise AssertionError("no chapter %r in doc/TESTCASES.md" % title)
    return m.group(1)


def entries(title):
    """The headings of a chapter's entries ("### `...`") and their texts."""
    parts = re.split(r"(?m)^### `([^`]+)`\n", chapter(title))
    return dict(zip(parts[1::2], parts[2::2]))


def leading_words(heading):
    """The fixed words of a heading: "ask file NAME" is "ask file"."""
    return " ".join(re.match(r"^((?:[a-z][a-z0-9-]*)(?: [a-z][a-z0-9-]*)*)", heading).group(1).split())


class Reference(unittest.TestCase):
    def assertSameNames(self, in_code, in_doc, what):
        self.assertEqual(sorted(set(in_code) - set(in_doc)), [], "%s not described" % what)
        self.assertEqual(sorted(set(in_doc) - set(in_code)), [], "%s described but unknown" % what)

    def assertExamples(self, title):
        for heading, text in entries(title).items():
            self.assertRegex(text, r"(?m)^    \S", "%s: %s has no example" % (title, heading))

    def test_sections(self):
        doc = []
        for heading in entries("Sections"):
            m = re.fullmatch(r"\[([a-z0-9-]+)( [A-Z ]+)?\]", heading)
            self.assertIsNotNone(m, heading)
            doc.append(m.group(1) + (" " if m.group(2) else ""))
        self.assertSameNames(run_case.SECTIONS, doc, "sections")
        self.assertExamples("Sections")

    def test_checks(self):
        doc = [heading.split()[0] for heading in entries("Checks")]
        self.assertSameNames(run_case.CHECKS, doc, "checks")
        self.assertExamples("Checks")

    def test_server_verbs(self):
        table = re.search(r"(?s)Verb const verbs\[\] = \{(.*?)\};", PLAYER)
        self.assertIsNotNone(table, "the verb table of scripted.cpp")
        code = [(v + " " + w).strip() for v, w in re.findall(r'\{"(\w+)", "(\w*)", &Player::', table.group(1))]
        self.assertGreater(len(code), 10)
        self.assertSameNames(code, [leading_words(h) for h in entries("Server verbs")], "server verbs")
        self.assertExamples("Server verbs")

    def test_names_of_codes_and_types(self):
        # The values are the protocol's own, which the server takes from its headers.
        headers = read("protocol", "commpacket.h") + read("protocol", "packet.h")
        values = {name: int(v) for name, v in re.findall(r"\b((?:COMM|PKT)_\w+) = (\d+)", headers)}
        doc = {}
        for row in re.findall(r"(?m)^\|(.*)\|$", chapter("Server verbs")):
            cells = [c.strip() for c in row.split("|")]
            for name, value in zip(cells[0::3], cells[1::3]):
                if re.fullmatch(r"`[A-Z_]+`", name):
                    doc.setdefault(name.strip("`"), set()).add(int(value))
        for table, prefix in (("CONTROL_CODES", "COMM_"), ("PACKET_TYPES", "PKT_")):
            body = re.search(r"(?s)constexpr Name %s\[\] = \{(.*?)\};" % table, PLAYER).group(1)
            for name, const in re.findall(r'\{"(\w+)", (\w+)\}', body):
                self.assertEqual(const, prefix + name)
                self.assertIn(values[const], doc.get(name, set()), "%s = %d not in the table" % (name, values[const]))
                doc[name].discard(values[const])
        self.assertEqual({k: v for k, v in doc.items() if v}, {}, "names in the table the server does not know")

    def test_options(self):
        code = set(re.findall(r'c\.(?:has|get|num)\("(\w+)"', PLAYER))
        code |= set(re.findall(r'\{"(\w+)", (?:textOf|intOf|listOf|std::to_string|r\.)', PLAYER))
        self.assertGreater(len(code), 20)
        text = chapter("Server verbs")
        missing = sorted(k for k in code if not re.search(r"\b%s=" % k, text))
        self.assertEqual(missing, [], "options not described")

    def test_whole_example(self):
        m = re.search(r"(?s)A whole case:\n\n((?:    .*?\n|\n)+)", DOC)
        self.assertIsNotNone(m)
        text = "".join(l[4:] + "\n" for l in m.group(1).rstrip("\n").split("\n"))
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "example.case")
            with open(path, "w") as f:
                f.write(text)
            sections, _ = run_case.parse_case(path)
            self.assertIn("server", sections)
            if len(PROGRAMS) < 2:
                self.skipTest("client and server not given: the example is parsed only")
            r = subprocess.run([sys.executable, os.path.join(SOURCE, "tests", "support", "run_case.py"),
                                "--client", PROGRAMS[0], "--server", PROGRAMS[1], path],
                               capture_output=True, text=True, timeout=60)
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
