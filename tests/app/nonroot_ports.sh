#!/usr/bin/env bash
# Runs the permission check of test_portsdialog as a user created for the purpose,
# on a device file that belongs to the dialout group the user is not in. Root can
# open anything, so the check needs another user; exit code 77 tells CTest the
# check was skipped, with the reason printed.
set -u
binary="${1:?test binary}"

skip() {
  echo "skipped: $*"
  exit 77
}

[ "$(id -u)" -eq 0 ] || skip "creating a user needs root"
for tool in useradd userdel setpriv getent; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done
group=dialout
getent group "$group" >/dev/null || skip "the $group group does not exist"

user="orvekport$$"
work="$(mktemp -d)"
created=0
cleanup() {
  [ "$created" -eq 1 ] && userdel "$user" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

if ! useradd --system --user-group --no-create-home --home-dir "$work" --shell /usr/sbin/nologin "$user" \
  >"$work/useradd.log" 2>&1; then
  skip "useradd failed: $(cat "$work/useradd.log")"
fi
created=1

chmod 755 "$work"
device="$work/ttyUSB0"
: >"$device"
chgrp "$group" "$device"
chmod 660 "$device"
mkdir "$work/config"
chown "$user:" "$work/config"

as_user=(setpriv --reuid="$user" --regid="$user" --init-groups)
"${as_user[@]}" test -x "$binary" || skip "$user cannot reach $binary"

"${as_user[@]}" env HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/config" \
  QT_QPA_PLATFORM=offscreen ORVEK_NONROOT_DEVICE="$device" ORVEK_NONROOT_GROUP="$group" \
  "$binary" permissionDeniedAsAnotherUser
