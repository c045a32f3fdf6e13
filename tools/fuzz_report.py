"""Sums fuzz/campaign.tsv per target into the table of fuzz/README.md (run again to refresh).

Run as `python tools/fuzz_report.py`; it prints the table. Each line of campaign.tsv is one
`fuzz/run.sh --campaign` run of one target: date, target, CPU seconds, executions, cov: edges,
ft: features, and the kept corpus's files and bytes after the merge.
"""

from __future__ import annotations

import csv
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def main() -> None:
    totals: dict[str, dict[str, float | str]] = {}
    with (ROOT / "fuzz" / "campaign.tsv").open(encoding="utf-8", newline="") as source:
        for date, target, cpu, runs, cov, ft, files, size in csv.reader(source, delimiter="\t"):
            row = totals.setdefault(target, {"runs": 0, "cpu": 0.0, "sessions": 0})
            row.update(
                cpu=float(row["cpu"]) + float(cpu),
                runs=int(row["runs"]) + int(runs),
                last=date,
                cov=cov,
                ft=ft,
                files=files,
                size=size,
                sessions=int(row["sessions"]) + 1,
            )
    print(
        "| target | CPU minutes | executions | runs | cov (edges) | ft | corpus files "
        "| archive KiB | last run |"
    )
    print("|---|---:|---:|---:|---:|---:|---:|---:|---|")
    for target, row in totals.items():
        print(
            f"| {target} | {float(row['cpu']) / 60:.0f} | {int(row['runs']):,} | "
            f"{row['sessions']} | {row['cov']} | "
            f"{row['ft']} | {row['files']} | {int(row['size']) // 1024:,} | {row['last']} |"
        )


if __name__ == "__main__":
    main()
