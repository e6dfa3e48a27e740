#!/usr/bin/env python3
"""Checks a korvane-cli report: every line against the schema, and the
order of its objects (one header first, one summary last, files and
directories between). Prints what is wrong and exits 1; exits 0 when the
report is sound."""
import json
import sys

import jsonschema


def main(schema_path, report_path):
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    validator = jsonschema.Draft202012Validator(schema)
    with open(report_path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    if lines[-1] != "":
        print("the report does not end with a newline")
        return 1
    objects = [json.loads(line) for line in lines[:-1]]
    problems = []
    for number, obj in enumerate(objects, 1):
        for error in validator.iter_errors(obj):
            problems.append(f"line {number}: {error.message}")
    kinds = [obj.get("type") for obj in objects]
    if not kinds or kinds[0] != "header" or kinds.count("header") != 1:
        problems.append("not one header, first")
    if not kinds or kinds[-1] != "summary" or kinds.count("summary") != 1:
        problems.append("not one summary, last")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
