#!/usr/bin/env python3
"""Reads /status output as a monitoring system would, and says what it found.

    read_formats.py json FILE        checks the JSON against schema 1
    read_formats.py prometheus FILE  checks the text exposition format

Prints one line per rule ("rule NAME KIND waiting=F/B oldest=S unmoved=U
error=E newest=S") after a line with the overall state (ages in whole minutes), or exits with 1 and
the reason when the output breaks its format.
"""
import json
import re
import sys


def fail(reason):
    print("BAD: " + reason)
    sys.exit(1)


def check_json(text):
    data = json.loads(text)
    if data.get("schema") != 1:
        fail("schema is not 1")
    for key in ("state", "reasons", "checked_at", "gateway", "rules"):
        if key not in data:
            fail("no " + key)
    gateway = data["gateway"]
    for key in ("ini", "running", "pid", "hung", "started", "last_pass", "waiting_for_service_since", "service",
                "totals"):
        if key not in gateway:
            fail("gateway has no " + key)
    for stamp in (data["checked_at"], gateway["started"], gateway["last_pass"]):
        if stamp is not None and not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d", stamp):
            fail("time " + stamp + " is no ISO 8601 with an offset")
    print("state %s running=%s hung=%s" % (data["state"], gateway["running"], gateway["hung"]))
    minutes = lambda seconds: None if seconds is None else round(seconds / 60)
    for rule in data["rules"]:
        for key in ("name", "kind", "waiting", "posted_unmoved", "error", "last_sent", "last_received"):
            if key not in rule:
                fail("rule has no " + key)
        waiting = rule["waiting"] or {}
        error = rule["error"] or {}
        print("rule %s %s waiting=%s/%s oldest=%s unmoved=%s error=%s newest=%s" % (
            rule["name"], rule["kind"], waiting.get("files"), waiting.get("bytes"),
            minutes(waiting.get("oldest_age_s")), rule["posted_unmoved"], error.get("files"),
            minutes(error.get("newest_age_s"))))


SAMPLE = re.compile(r'([a-zA-Z_:][a-zA-Z0-9_:]*)(\{([^}]*)\})? (-?[0-9.eE+]+)$')
LABEL = re.compile(r'([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\]|\\.)*)"')


def check_prometheus(text):
    typed = {}
    samples = {}
    for line in text.splitlines():
        if line.startswith("# HELP "):
            continue
        if line.startswith("# TYPE "):
            _, _, name, kind = line.split(" ", 3)
            if kind not in ("gauge", "counter"):
                fail("type " + kind)
            typed[name] = kind
            continue
        match = SAMPLE.match(line)
        if not match:
            fail("no sample: " + line)
        name = match.group(1)
        if not name.startswith("trasvik_"):
            fail("name " + name)
        if name not in typed:
            fail("no TYPE before " + name)
        labels = dict(LABEL.findall(match.group(3) or ""))
        samples.setdefault(name, []).append((labels, float(match.group(4))))
    state = samples["trasvik_state"][0][1]
    print("state %d" % state)
    rules = {}
    for name, values in samples.items():
        for labels, value in values:
            if "rule" in labels:
                rules.setdefault((labels["rule"], labels["kind"]), {})[name[len("trasvik_"):]] = int(value)
    minutes = lambda seconds: None if seconds is None else round(seconds / 60)
    for (name, kind), values in sorted(rules.items()):
        print("rule %s %s waiting=%s/%s oldest=%s unmoved=%s error=%s newest=%s" % (
            name, kind, values.get("waiting_files"), values.get("waiting_bytes"),
            minutes(values.get("oldest_waiting_age_seconds")), values.get("posted_unmoved_files"),
            values.get("error_files"), minutes(values.get("newest_error_age_seconds"))))


with open(sys.argv[2], encoding="utf-8") as source:
    content = source.read()
{"json": check_json, "prometheus": check_prometheus}[sys.argv[1]](content)
