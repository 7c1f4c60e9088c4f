#!/usr/bin/env python3
"""Our colour paths as ratios to their peers, from the JSON a colspace_bench
run writes (--benchmark_out), against the goals. Each ratio is a pair
benchmark's: ours and the peer timed turn about in one benchmark (the median
over the repetitions), so both sides saw the same machine."""
import json
import sys

# (pair benchmark, what it compares, goal): ours / peer at most the goal.
RATIOS = [
    ("BM_Pair_PSHU_RGB24_vs_OpenCV", "PSHU 324x244 -> RGB24 / OpenCV bilinear BayerGB", 1.0),
    ("BM_Pair_PSHU_RGB24_vs_v4lconvert", "PSHU 324x244 -> RGB24 / libv4lconvert SGRBG8", 0.35),
    ("BM_Pair_PYUV_RGB24_vs_swscale", "PYUV 160x120 -> RGB24 / swscale yuv420p->bgr24", 0.35),
    ("BM_Pair_PYUV_I420_vs_swscale", "PYUV 160x120 -> I420 / swscale", 0.15),
    ("BM_Pair_PYUV_YV12_vs_swscale", "PYUV 160x120 -> YV12 / swscale", 0.15),
    ("BM_Pair_PYUV_YUY2_vs_swscale", "PYUV 160x120 -> YUY2 / swscale", 0.15),
    ("BM_Pair_PYUV_YVU9_vs_swscale", "PYUV 160x120 -> YVU9 / swscale", 0.15),
]


def medians(run):
    """The median repetition's counters (ours_us, peer_us, ratio) per pair."""
    found = {}
    for b in run["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        if "ratio" in b:
            found[b.get("run_name", b["name"])] = (b["ours_us"], b["peer_us"], b["ratio"])
    return found


def main():
    with open(sys.argv[1]) as f:
        run = json.load(f)
    context = run.get("context", {})
    print()
    print("processor: %s" % context.get("processor", "unknown"))
    print("kernel sets chosen: %s" % context.get("kernel sets chosen", "unknown"))
    pairs = medians(run)
    print("%-50s %9s %9s %6s %6s" % ("ours / peer", "ours µs", "peer µs", "ratio", "goal"))
    missed = 0
    for name, what, goal in RATIOS:
        if name not in pairs:
            print("%-50s not measured" % what)
            continue
        ours, peer, ratio = pairs[name]
        mark = "" if ratio <= goal else "  missed"
        missed += ratio > goal
        print("%-50s %9.2f %9.2f %5.2fx %5.2fx%s" % (what, ours, peer, ratio, goal, mark))
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
