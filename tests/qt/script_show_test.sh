#!/usr/bin/env bash
# pelmor script --show in a virtual X server: the control the script makes shows its picture in a
# window, the window stays after the script has ended, and the time limit closes it with exit 0.
# Usage: script_show_test.sh PELMOR MODULE IMAGE
set -euo pipefail
pelmor=$1
module=$2
sample=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PELMOR_REGISTRY="$work/registry"
# Under the leak checker: what system libraries keep is not the program's.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan_suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
"$pelmor" register "$module" > /dev/null

cat > "$work/show.js" <<'JS'
var viewer = createObject("PELMOR.PelmorCtrl.2");
viewer.StretchImage = true;
viewer.FileName = host.args[0];
host.resize(viewer, 300, 200);
console.log("open:", viewer.IsOpen(), viewer.ImageWidth + "x" + viewer.ImageHeight);
JS

cat > "$work/run.sh" <<'INNER'
#!/usr/bin/env bash
set -u
pelmor=$1; sample=$2; work=$3
"$pelmor" script --show --timeout 8 "$work/show.js" "$sample" > "$work/out.log" 2> "$work/err.log" &
pid=$!
shown=1
for i in $(seq 1 30); do
  sleep 0.25
  grep -q '^open: true' "$work/out.log" || continue
  kill -0 $pid 2>/dev/null || { echo "the window did not stay after the script"; cat "$work/err.log"; exit 1; }
  import -window root "$work/grab.png" 2>/dev/null || continue
  # The stretched picture fills the window's 300x200 at the top left with a picture's colours.
  colours=$(convert "$work/grab.png" -crop 300x200+0+0 +repage -format %k info:)
  if [ "$colours" -gt 20 ]; then shown=0; break; fi
done
wait $pid
rc=$?
[ $shown -eq 0 ] || { echo "the picture never showed"; cat "$work/out.log" "$work/err.log"; exit 1; }
[ $rc -eq 0 ] || { echo "exit $rc after the time limit"; cat "$work/err.log"; exit 1; }
[ -n "${PELMOR_SHOT:-}" ] && cp "$work/grab.png" "$PELMOR_SHOT"
exit 0
INNER

xvfb-run -a -s "-screen 0 640x480x24" bash "$work/run.sh" "$pelmor" "$sample" "$work"
