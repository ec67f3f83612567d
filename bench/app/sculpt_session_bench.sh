#!/usr/bin/env bash
# The whole program sculpting a torus of 1.3 million triangles under a session
# script: the main thread's frame time while the stylus rests, while it holds
# a live dent, and while deform clicks commit dents (the shape refits, the
# history records the moved vertices). Prints the dump's frame-time summaries.
# Needs an X display (runs itself under xvfb-run when none is set).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${MORVEL_BIN_DIR:-$here/../bin}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s '-screen 0 1280x1024x24' bash "$0" "$@"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/run/Config"
"$bin/morvel-cli" primitive torus "$work/t0.cr8"
for i in 1 2 3 4; do
  "$bin/morvel-cli" subdivide "$work/t$((i - 1)).cr8" "$work/t$i.cr8" 2>/dev/null
done
echo '<Config><Haptic Device="auto" StylusRadius="0.1"/></Config>' > "$work/run/Config/HapticSettings.xml"
cat > "$work/run/session.txt" <<SCRIPT
stylus 2 0 4
sleep 0.5
stylus 2 0 1.0 0 0.3
frames 20
dump $work/rest.json
stylus 2 0 0.6 0 0.3
frames 20
dump $work/live.json
key h
stylus 2 0 0.6 1
frames 2
stylus 2 0 0.6 0
frames 2
stylus 2 0.3 0.6 1
frames 2
stylus 2 0.3 0.6 0
frames 2
stylus 2 0.6 0.6 1
frames 2
stylus 2 0.6 0.6 0
frames 2
dump $work/deform.json
exit
SCRIPT
(cd "$work/run" && HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_STATE_HOME="$work/home/state" \
  "$bin/morvel" -noSplashScreen -script=session.txt "$work/t4.cr8" >/dev/null 2>&1)
python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
print("torus of 1,310,720 triangles; main-thread milliseconds per frame of each stage")
print("%-10s %8s %10s %10s %10s %12s %12s" % ("stage", "frames", "frame mean", "frame p95", "frame max",
                                            "interact mean", "interact max"))
for stage in ("rest", "live", "deform"):
    d = json.load(open("%s/%s.json" % (work, stage)))
    f, i = d["frameTimes"]["frame"], d["frameTimes"]["interaction"]
    print("%-10s %8d %10.1f %10.1f %10.1f %12.1f %12.1f" % (stage, f["frames"], f["mean"], f["p95"],
                                                           f["max"], i["mean"], i["max"]))
d = json.load(open("%s/deform.json" % work))
print("deform clicks in the history: %d; live dent at the end: %.3f" % (d["undo"], d["objects"][0]["liveDent"]))
PY
