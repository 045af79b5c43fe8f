#!/usr/bin/env python3
"""Prints the comparison table of bench/compare.sh from its measurements
(tab-separated: job, tool, run, wall, user, sys, maxrss_kib, pictures,
expected; for wrk the wall column holds requests per second) and checks the
goals: on the small job varnelo-cli (pages and pictures) is faster than
aria2c on the pictures alone, uses no more CPU time and stays under 40 MiB;
on the large job it is within 10 % of aria2c."""

import argparse
import csv
import statistics
import sys

LABELS = {
    "varnelo": "varnelo-cli (pages + pictures)",
    "aria2c": "aria2c -j20 (pictures)",
    "wget": "wget -i (pictures)",
    "script": "20-thread script (pages + pictures)",
    "wrk": "wrk -c20, one picture (ceiling)",
}
ORDER = ["varnelo", "aria2c", "wget", "script", "wrk"]


def median(values):
    return statistics.median(values) if values else float("nan")


def human_size(size):
    for unit in ("B", "KiB", "MiB", "GiB"):
        if size < 1024 or unit == "GiB":
            return f"{size:g} {unit}" if unit == "B" else f"{size:.0f} {unit}"
        size /= 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("results")
    parser.add_argument("--pages", type=int)
    parser.add_argument("--pictures", type=int)
    parser.add_argument("--size", type=int)
    parser.add_argument("--large-pages", type=int, default=0)
    parser.add_argument("--large-pictures", type=int)
    parser.add_argument("--large-size", type=int)
    parser.add_argument("--runs", type=int)
    args = parser.parse_args()

    rows = {}
    with open(args.results) as f:
        for row in csv.DictReader(f, delimiter="\t"):
            rows.setdefault((row["job"], row["tool"]), []).append(row)

    shapes = {"small": (args.pages, args.pictures, args.size),
              "large": (args.large_pages, args.large_pictures, args.large_size)}
    figures = {}
    for job in ("small", "large"):
        tools = [t for t in ORDER if (job, t) in rows]
        if not tools:
            continue
        n_pages, n_pictures, size = shapes[job]
        expected = int(rows[(job, tools[0])][0]["expected"])
        print(f"\n{job} job: {n_pages} pages x {n_pictures} pictures x {human_size(size)}"
              f" = {expected} pictures, {human_size(expected * size)};"
              f" median of {args.runs} runs")
        header = f"{'tool':38} {'wall s':>8} {'x ours':>7} {'pict/s':>8} {'CPU s':>7} {'peak MiB':>9} {'pictures':>10}"
        print(header)
        print("-" * len(header))
        ours = None
        for tool in tools:
            measured = rows[(job, tool)]
            if tool == "wrk":
                rate = float(measured[0]["wall"] or 0)
                wall = expected / rate if rate else float("nan")
                ratio = f"{wall / ours:.2f}" if ours else "-"
                print(f"{LABELS[tool]:38} {wall:8.2f} {ratio:>7} {rate:8.0f} {'-':>7} {'-':>9} {'-':>10}")
                figures[(job, tool)] = {"wall": wall}
                continue
            wall = median([float(r["wall"]) for r in measured])
            cpu = median([float(r["user"]) + float(r["sys"]) for r in measured])
            rss = median([float(r["maxrss_kib"]) / 1024 for r in measured])
            got = min(int(r["pictures"]) for r in measured)
            if tool == "varnelo":
                ours = wall
            ratio = f"{wall / ours:.2f}" if ours else "-"
            rate = got / wall if wall > 0 else float("nan")
            print(f"{LABELS[tool]:38} {wall:8.2f} {ratio:>7} {rate:8.0f} {cpu:7.2f} {rss:9.1f}"
                  f" {str(got) + '/' + str(expected):>10}")
            figures[(job, tool)] = {"wall": wall, "cpu": cpu, "rss": rss, "complete": got == expected}

    goals = []
    ours, aria = figures.get(("small", "varnelo")), figures.get(("small", "aria2c"))
    if ours:
        goals.append(("small job: every picture downloaded", ours["complete"], ""))
        goals.append(("small job: peak memory under 40 MiB", ours["rss"] < 40,
                      f"{ours['rss']:.1f} MiB"))
    # Speed counts only for a job that was done in full.
    if ours and aria:
        goals.append(("small job: less wall time than aria2c on the pictures alone",
                      ours["complete"] and ours["wall"] < aria["wall"],
                      f"{ours['wall']:.2f} s vs {aria['wall']:.2f} s"))
        goals.append(("small job: CPU time no more than aria2c's",
                      ours["complete"] and ours["cpu"] <= aria["cpu"],
                      f"{ours['cpu']:.2f} s vs {aria['cpu']:.2f} s"))
    ours, aria = figures.get(("large", "varnelo")), figures.get(("large", "aria2c"))
    if ours:
        goals.append(("large job: every picture downloaded", ours["complete"], ""))
    if ours and aria:
        goals.append(("large job: wall time within 10 % of aria2c's",
                      ours["complete"] and ours["wall"] <= 1.10 * aria["wall"],
                      f"{ours['wall']:.2f} s vs {aria['wall']:.2f} s"))
    if goals:
        print("\ngoals")
        for text, met, detail in goals:
            print(f"  {'met   ' if met else 'MISSED'} {text}{'  (' + detail + ')' if detail else ''}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
