#!/usr/bin/env bash
# pelmor view on an animation in a virtual X server: grabs the screen until the viewer's picture is
# there, then until it changes, each wait bounded. Usage: view_window_test.sh PELMOR ANIMATION
set -euo pipefail
pelmor=$1
sample=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/run.sh" <<'INNER'
#!/usr/bin/env bash
set -u
pelmor=$1; sample=$2; work=$3
"$pelmor" view "$sample" > "$work/view.log" 2>&1 &
pid=$!
# How many colours the screen shows, and whether two grabs differ: checked by check.sh.
status=1
for i in $(seq 1 40); do
  sleep 0.5
  kill -0 $pid 2>/dev/null || { echo "the viewer ended early"; cat "$work/view.log"; exit 1; }
  import -window root "$work/grab.png" 2>/dev/null || continue
  if [ ! -f "$work/first.png" ]; then
    bash "$work/check.sh" shown "$work/grab.png" && cp "$work/grab.png" "$work/first.png"
    continue
  fi
  if bash "$work/check.sh" changed "$work/first.png" "$work/grab.png"; then status=0; break; fi
done
kill $pid 2>/dev/null
wait $pid 2>/dev/null
[ -f "$work/first.png" ] || { echo "the picture never showed"; exit 1; }
[ $status -eq 0 ] || echo "the picture never changed"
exit $status
INNER

cat > "$work/check.sh" <<'INNER'
#!/usr/bin/env bash
# check.sh shown GRAB: the viewer's area (top left) holds a photograph's many colours.
# check.sh changed A B: the two grabs of that area differ.
area=600x360+0+40
if [ "$1" = shown ]; then
  colours=$(convert "$2" -crop $area +repage -format %k info:)
  [ "$colours" -gt 100 ]
else
  convert "$2" -crop $area +repage "$2.area.png" && convert "$3" -crop $area +repage "$3.area.png" || exit 1
  # compare prints the count of differing pixels (exit 1 when they differ, 2 on trouble).
  differ=$(compare -metric AE "$2.area.png" "$3.area.png" null: 2>&1)
  [ $? -ne 2 ] && [ "${differ%% *}" -gt 0 ] 2>/dev/null
fi
INNER

xvfb-run -a -s "-screen 0 800x600x24" bash "$work/run.sh" "$pelmor" "$sample" "$work"
