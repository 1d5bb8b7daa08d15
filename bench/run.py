"""Run every bench_*.py in this folder (or those named on the command line),
then print one table of all rows and write it, with a chart of the ratios,
to docs/bench-<level>.md and docs/bench-<level>.png, one report for each
x86-64 level (x86-64-v4, x86-64-v3, x86-64) the bench has run on."""
import datetime
import importlib
import pathlib
import platform
import sys

HERE = pathlib.Path(__file__).resolve().parent
DOCS = HERE.parent / "docs"
sys.path.insert(0, str(HERE))

import harness  # noqa: E402

# Bench file -> the subsystem its rows belong to, in the order of the chart.
SUBSYSTEMS = {
    "bench_pool": "pool and random sources",
    "bench_sorting": "sorting and selection",
    "bench_numeric": "number theory",
    "bench_stats": "statistics and vectors",
    "bench_levenshtein": "edit distance",
    "bench_hashmap": "hash map",
    "bench_tensor": "Tensor",
    "bench_dl": "deep-learning formulas",
    "bench_ml": "k-means and linear algebra",
}


def blas():
    """The BLAS kernel NumPy runs here, as threadpoolctl reports it."""
    try:
        from threadpoolctl import threadpool_info
    except ImportError:
        return "unknown"
    found = [f"{i['internal_api']} {i.get('architecture') or ''}".strip() for i in threadpool_info()
             if i.get("user_api") == "blas"]
    return ", ".join(dict.fromkeys(found)) or "none"


def fmt_time(seconds):
    return harness._fmt(seconds)


def table_lines(rows):
    lines = ["| subsystem | workload | peer | quorvane | peer time | ratio | target | met |",
             "|---|---|---|---:|---:|---:|---:|---|"]
    for name, peer, ours, theirs, ratio, target, verdict, group in rows:
        tgt = "-" if target is None else f"{target:g}"
        met = {"ok": "yes", "BELOW": "**no**"}.get(verdict, "-")
        lines.append(f"| {group} | {name} | {peer} | {fmt_time(ours)} | {fmt_time(theirs)} | {ratio:.2f} | {tgt} | {met} |")
    return lines


def report_paths(level):
    stem = "bench-" + level.split()[0]
    return DOCS / f"{stem}.md", DOCS / f"{stem}.png"


def write_report(rows):
    model, level, cores = harness.machine()
    md, png = report_paths(level)
    DOCS.mkdir(exist_ok=True)
    below = [r for r in rows if r[6] == "BELOW"]
    met = [r for r in rows if r[6] == "ok"]
    head = [
        "# Benchmarks",
        "",
        f"Measured {datetime.date.today().isoformat()} on {model}, {level}, {cores} cores, "
        f"Python {platform.python_version()}, NumPy's BLAS: {blas()}. Ratio = peer time / quorvane time (above 1: quorvane is faster); "
        "each time is the median of 7 interleaved rounds in one process.",
        "",
        f"{len(rows)} rows: {len(met)} meet their target, {len(below)} are below it, "
        f"{len(rows) - len(met) - len(below)} have none.",
        "",
        f"![ratios]({png.name})",
        "",
    ]
    md.write_text("\n".join(head + table_lines(rows)) + "\n")
    chart(rows, f"{model}, {level}, {cores} cores", png)


def chart(rows, subtitle, path):
    try:
        import matplotlib
    except ImportError:
        print("matplotlib is not installed: no chart")
        return
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    order = list(dict.fromkeys(r[7] for r in rows))
    colours = plt.get_cmap("tab10")
    fig, ax = plt.subplots(figsize=(11, 0.22 * len(rows) + 1.6))
    y, labels, ticks = 0, [], []
    for g, group in enumerate(order):
        for i, r in enumerate(r for r in rows if r[7] == group):
            ax.barh(y, r[4], color=colours(g % 10), label=group if i == 0 else None)
            if r[5] is not None:
                ax.plot([r[5]], [y], marker="|", color="black", markersize=8)
            labels.append(f"{r[0]}  vs  {r[1]}")
            ticks.append(y)
            y += 1
        y += 0.6
    ax.set_xscale("log")
    ax.axvline(1.0, color="red", linewidth=1)
    ax.set_yticks(ticks, labels, fontsize=6)
    ax.set_ylim(y - 0.2, -0.8)  # first row at the top, without the default empty margins
    ax.set_xlabel("peer time / quorvane time (log scale; red line: as fast as the peer; black tick: target)")
    ax.set_title(f"quorvane against the peers\n{subtitle}", fontsize=9)
    ax.legend(fontsize=7, loc="lower right")
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def main(argv):
    names = argv or sorted((p.stem for p in HERE.glob("bench_*.py")),
                           key=lambda n: list(SUBSYSTEMS).index(n) if n in SUBSYSTEMS else len(SUBSYSTEMS))
    for name in names:
        name = name if name.startswith("bench_") else f"bench_{name}"
        harness.SUBSYSTEM[0] = SUBSYSTEMS.get(name, name.removeprefix("bench_"))
        importlib.import_module(name).run()
    rows = harness.ROWS
    print("\n== all rows\n" + "\n".join(table_lines(rows)))
    below = [r for r in rows if r[6] == "BELOW"]
    print(f"\n{len(rows)} rows, {len(below)} below target")
    if not argv:  # the report stands for a whole run only
        write_report(rows)
        md, png = report_paths(harness.machine()[1])
        print(f"wrote {md} and {png}")


if __name__ == "__main__":
    main(sys.argv[1:])
