#!/usr/bin/env python3
"""Prints the goals of the benchmark run in a folder of Google Benchmark JSON files as ratios.

Each figure takes the best (lowest) time of the repetitions, so that a busy machine skews
the ratios as little as it can.
"""
import json
import pathlib
import sys


def load(folder):
    runs = {}
    for path in sorted(pathlib.Path(folder).glob("*.json")):
        for bench in json.loads(path.read_text())["benchmarks"]:
            if bench.get("run_type") != "iteration" or bench.get("error_occurred"):
                continue
            name = bench["run_name"].replace("/real_time", "").replace("/iterations:1", "")
            best = runs.setdefault(name, dict(bench))
            for key in ("real_time", "cpu_time"):
                best[key] = min(best[key], bench[key])
    return runs


def line(goal, value, limit, better_above):
    met = value >= limit if better_above else value <= limit
    sign = ">=" if better_above else "<="
    print(f"  {goal:<58} {value:6.2f}  (goal {sign} {limit}) {'met' if met else 'NOT MET'}")


def main():
    runs = load(sys.argv[1] if len(sys.argv) > 1 else "build-release/bench-results")

    print("Processor-side pass, 12 MP photo (reference CPU time / new CPU time, one thread):")
    worst, worst_name, scaling = None, "", None
    for power in (1, 10, 100):
        for weights in range(8):
            ref = runs.get(f"BM_GlowReference/{weights}/{power}")
            one = runs.get(f"BM_Glow/{weights}/{power}/1")
            two = runs.get(f"BM_Glow/{weights}/{power}/2")
            if not (ref and one and two):
                continue
            ratio = ref["cpu_time"] / one["cpu_time"]
            if worst is None or ratio < worst:
                worst, worst_name = ratio, f"R{weights >> 2} G{weights >> 1 & 1} B{weights & 1} LEVEL={power}"
            scale = one["real_time"] / two["real_time"]
            scaling = scale if scaling is None else min(scaling, scale)
    if worst is not None:
        line(f"lowest speed-up over 24 settings ({worst_name})", worst, 7, True)
        line("lowest 2-thread over 1-thread speed (wall clock)", scaling, 1.7, True)

    read, bare = runs.get("BM_ReadWebp"), runs.get("BM_DecodeBareWebp")
    if read and bare:
        print("Reading a WebP photo (ReadPicture / libwebp's bare decode, wall clock):")
        line("12 MP lossy webp", read["real_time"] / bare["real_time"], 1.3, False)
        into = runs.get("BM_DecodeBareWebpInto")
        if into:
            print(f"  {'same, / decode alone into a store made beforehand':<58} "
                  f"{read['real_time'] / into['real_time']:6.2f}")
    upright = runs.get("BM_LoadJpeg/upright")
    tagged = runs.get("BM_LoadJpeg/tagged6")
    if upright and tagged:
        print("Loading a 12 MP JPEG tagged with orientation 6 (turned / stored upright, CPU time):")
        line("12 MP jpeg turned upright as it loads", tagged["cpu_time"] / upright["cpu_time"], 1.1,
             False)

    for path in ("glsl", "fixed"):
        print(f"Frames on the {path} path (wall clock, frame of the wall / one quad):")
        for size in ("1920x1080", "4000x3000"):
            wall = runs.get(f"BM_FrameWall/{path}/{size}")
            floor = runs.get(f"BM_FrameTileFloor/{path}/{size}")
            one_texture = runs.get(f"BM_FrameTileOneTexture/{path}/{size}")
            quad = runs.get(f"BM_FrameOneQuad/{path}/{size}")
            if wall and quad:
                line(f"{size} wall", wall["real_time"] / quad["real_time"], 1.2, False)
            if floor and quad:
                print(f"  {size + ' floor: bare tile draws / one quad':<58} "
                      f"{floor['real_time'] / quad['real_time']:6.2f}"
                      f"  ({int(floor.get('tiles', 0))} tiles in a "
                      f"{int(floor.get('view_width', 0))} x {int(floor.get('view_height', 0))} view)")
            if one_texture and quad:
                print(f"  {size + ' same draws, one texture for all / one quad':<58} "
                      f"{one_texture['real_time'] / quad['real_time']:6.2f}")
        print(f"Loading on the {path} path (drop to wall ready / bare decode, wall clock):")
        for kind, limit in (("jpeg", 2), ("png", 1.35)):
            drop = runs.get(f"BM_LoadDrop/{path}/{kind}")
            bare = runs.get(f"BM_DecodeBare/{kind}")
            if drop and bare:
                line(f"12 MP {kind}", drop["real_time"] / bare["real_time"], limit, False)
        memory = runs.get(f"BM_Memory/{path}")
        if memory:
            print(f"Memory on the {path} path (resident above the empty window / RGBA size):")
            line("after 1 drop", memory["after_1_drop"], 2.5, False)
            line("after 10 drops", memory["after_10_drops"], 2.5, False)
            line("peak while loading", memory["peak_while_loading"], 3.2, False)

    bare = runs.get("BM_DecodeBare/photo")
    empty, start = runs.get("BM_StartEmpty"), runs.get("BM_StartWithPhoto")
    if bare:
        print("The way to the first picture, read beside the window (wall clock / bare decode):")
        if empty and start:
            line("start with a 12 MP jpeg less an empty start",
                 (start["real_time"] - empty["real_time"]) / bare["real_time"], 1.0, False)
        for screen in ("1920x1080", "4096x3072"):
            drop = runs.get(f"BM_FirstDrop/{screen}")
            if drop:
                line(f"first drop of a 12 MP jpeg, {screen} screen",
                     drop["real_time"] / bare["real_time"], 1.5, False)
    large, large_bare = runs.get("BM_LargePreviewAndEscape"), runs.get("BM_DecodeBare/large")
    if large and large_bare:
        line("50 MP jpeg: its preview on the screen", large["real_time"] / large_bare["real_time"],
             0.25, False)
        print(f"  {'Escape while the 50 MP jpeg decodes (ms, goal <= 100)':<58} "
              f"{large.get('escape_ms', -1):6.1f}")


if __name__ == "__main__":
    main()
