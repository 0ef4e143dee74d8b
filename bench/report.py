#!/usr/bin/env python3
"""Turns the results of bench/run_all.sh into the table of docs/performance.md."""
import json
import os
import platform
import re
import subprocess
import sys

folder = sys.argv[1]


def load(name):
    with open(os.path.join(folder, name + ".json")) as f:
        data = json.load(f)
    runs = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        key = b.get("run_name", b["name"])
        runs[key] = b
    return data["context"], runs


def pick(runs, name):
    """The run called `name`, or the one whose name only adds suffixes to it."""
    if name in runs:
        return runs[name]
    for key, value in runs.items():
        if key.startswith(name + "/"):
            return value
    raise KeyError(name)


def ms(b):
    factor = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return b["real_time"] * factor


def mbs(b):
    return b["bytes_per_second"] / 1e6


rows = []


def row(what, ours, reference, ref_name, ratio, note=""):
    rows.append((what, ours, reference, ref_name, ratio, note))


context, text = load("text")
for size, label in ((1 << 20, "1 MiB"), (16 << 20, "16 MiB")):
    ref = pick(text, f"BM_Memchr/{size}")
    for name, what in (("BM_TextBetween", "text_between, marker near the end"),
                       ("BM_UrlEncode", "url_encode"), ("BM_UrlDecode", "url_decode"),
                       ("BM_GbkToUtf8", "gbk_to_utf8"), ("BM_Utf8ToGbk", "utf8_to_gbk")):
        b = pick(text, f"{name}/{size}")
        row(f"{what}, {label}", f"{mbs(b):,.0f} MB/s", f"{mbs(ref):,.0f} MB/s", "memchr, same buffer",
            f"{mbs(ref) / mbs(b):.2f}")

_, web = load("web")


def growth(name, small, large, factor, what, unit):
    a, b = pick(web, f"{name}/{small}"), pick(web, f"{name}/{large}")
    row(what, f"{ms(b):.3f} ms", f"{ms(a) * factor:.3f} ms", f"{factor}x the run at 1/{factor} size (linear)",
        f"{ms(b) / (ms(a) * factor):.2f}", unit)


growth("BM_MergeCookies", "100/10", "1000/100", 10, "merge_cookies, 1,000 existing + 100 incoming", "")
growth("BM_CollectSetCookies", "1000", "10000", 10, "collect_set_cookies, 10,000 header lines", "")
growth("BM_DecodeUtf8Page", str(1 << 20), str(16 << 20), 16, "decode_winhttp_response, 16 MiB UTF-8 page", "")
growth("BM_CharsetPattern", "256", "1024", 4, "RegexMatcher, charset pattern over 1 KiB", "")

_, ex = load("exchange")
for name, what in (("BM_WinhttpGet1KiBAgainstCurlTool", "http_request_winhttp, GET of 1 KiB"),
                   ("BM_ComGet1KiBAgainstCurlTool", "http_request_com, GET of 1 KiB")):
    b = pick(ex, name)
    row(what, f"{b['exchange_ms']:.2f} ms", f"{b['curl_tool_ms']:.2f} ms", "curl command, same request (median)",
        f"{b['ratio']:.3f}")
big, tool = pick(ex, "BM_WinhttpGet64MiB"), pick(ex, "BM_CurlToolGet64MiB")
row("http_request_winhttp, 64 MiB body", f"{mbs(big):,.0f} MB/s", f"{mbs(tool):,.0f} MB/s",
    "curl command to /dev/null", f"{mbs(tool) / mbs(big):.2f}")

_, ck = load("checkin")
whole, four = pick(ck, "BM_WholeRun"), pick(ck, "BM_CurlFourRequests")
row("whole run: refresh, two check-ins, notice", f"{ms(whole):.2f} ms", f"{ms(four):.2f} ms",
    "the same four requests by the curl command", f"{ms(whole) / ms(four):.3f}")

app = open(os.path.join(folder, "app.txt")).read()
m = re.search(r"start-up to first frame \(.*?\): median ([\d.]+) ms", app)
if m:
    row("window start-up to first frame (Xvfb)", f"{float(m.group(1)):.1f} ms", "150 ms", "target",
        f"{float(m.group(1)) / 150:.2f}")
m = re.search(r"resident memory when idle: ([\d.]+) MiB", app)
if m:
    row("resident memory, idle window", f"{float(m.group(1)):.1f} MiB", "40 MiB", "target",
        f"{float(m.group(1)) / 40:.2f}")
m = re.search(r"= ([\d.]+) % of one core", app)
if m:
    row("CPU of an idle window over 60 s", f"{float(m.group(1)):.4f} %", "0.1 %", "target",
        f"{float(m.group(1)) / 0.1:.2f}")

cpu = context.get("mhz_per_cpu", "?")
print("# Performance\n")
print("Every figure below comes from one run of `bench/run_all.sh` on one machine "
      f"({context.get('num_cpus', '?')} cores at {cpu} MHz, {platform.system()} {platform.release()}, "
      f"{context.get('date', '')}). Run it again with:\n")
print("    bench/run_all.sh\n")
print("It builds `build-bench` in Release, runs `text_bench`, `web_bench`, `exchange_bench`, "
      "`checkin_bench` (Google Benchmark) and `bench/app_idle.sh` (whole-process figures of the window "
      "under Xvfb), and writes this file. Every ratio is ours over the reference in time (or size): "
      "below 1 means ours is faster or smaller; for the throughput rows it is the reference's MB/s over "
      "ours, and for the growth rows 1 means the operation grows exactly linearly.\n")
print("| benchmark | ours | reference | reference is | ratio |")
print("| --- | --- | --- | --- | --- |")
for what, ours, ref, ref_name, ratio, _ in rows:
    print(f"| {what} | {ours} | {ref} | {ref_name} | {ratio} |")
