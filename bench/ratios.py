#!/usr/bin/env python3
"""Our colour paths as ratios to the peers timed in the same run, from the
JSON a colspace_bench run writes (--benchmark_out), against the goals."""
import json
import sys

# (our path, peer, goal): ratio of medians, ours / peer, at most the goal.
RATIOS = [
    ("BM_PSHU_324x244_to_RGB24_320x240", "BM_Peer_OpenCV_BayerGB2BGR_bilinear/320/240", 1.5),
    ("BM_PSHU_324x244_to_RGB24_320x240", "BM_Peer_v4lconvert_SGRBG8_to_BGR24/320/240", 0.6),
    ("BM_PYUV_160x120_to_RGB24", "BM_Peer_swscale_yuv420p_to_bgr24/160/120", 0.8),
    ("BM_PYUV_160x120_to_I420", "BM_Peer_swscale_yuv420p_to_bgr24/160/120", 0.4),
    ("BM_PYUV_160x120_to_YV12", "BM_Peer_swscale_yuv420p_to_bgr24/160/120", 0.4),
    ("BM_PYUV_160x120_to_YUY2", "BM_Peer_swscale_yuv420p_to_bgr24/160/120", 0.4),
    ("BM_PYUV_160x120_to_YVU9", "BM_Peer_swscale_yuv420p_to_bgr24/160/120", 0.4),
]


def medians(run):
    """Median real time in microseconds per benchmark name."""
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
    found = {}
    for b in run["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        found[b.get("run_name", b["name"])] = b["real_time"] * scale[b.get("time_unit", "ns")]
    return found


def main():
    with open(sys.argv[1]) as f:
        run = json.load(f)
    context = run.get("context", {})
    print()
    print("processor: %s" % context.get("processor", "unknown"))
    print("kernel sets chosen: %s" % context.get("kernel sets chosen", "unknown"))
    times = medians(run)
    print("%-34s %-46s %9s %9s %6s %5s" % ("ours", "peer", "ours µs", "peer µs", "ratio", "goal"))
    missed = 0
    for ours, peer, goal in RATIOS:
        if ours not in times or peer not in times:
            print("%-34s %-46s not measured" % (ours[3:], peer[3:]))
            continue
        ratio = times[ours] / times[peer]
        mark = "" if ratio <= goal else "  missed"
        missed += ratio > goal
        print("%-34s %-46s %9.2f %9.2f %5.2fx %4.1fx%s" % (ours[3:], peer[3:], times[ours], times[peer], ratio,
                                                         goal, mark))
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
