# Sourced by the scripts that show Windows programs. start_display: with no $DISPLAY, starts a private Xvfb on the
# first free display from :90, exports DISPLAY and waits $1 seconds (0.5 by default) for it to come up; xvfb_pid is
# that Xvfb, empty when $DISPLAY was already set.
xvfb_pid=""
start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 90 130); do
    [ -e "/tmp/.X${n}-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    sleep "${1:-0.5}"
    return 0
  done
}
