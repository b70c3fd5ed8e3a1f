#!/usr/bin/env bash
# The Debian package: built by CPack from the build tree, its dependencies
# declared, clean under lintian, and the host unpacked from it into a scratch
# root runs the service's own command line, serves a game, and stops on
# SIGTERM.
#   debian_package_test.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d)
host=
cleanup() {
	[ -n "$host" ] && kill "$host" 2>/dev/null || true
	rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >/dev/null) \
	|| fail "cpack failed"
package=$scratch/out/drelmoor_${version}_amd64.deb
[ -f "$package" ] || fail "no $package"

depends=$(dpkg-deb -f "$package" Depends)
for needed in adduser libc6 libstdc++6 libsqlite3-0; do
	grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

lintian --tag-display-limit 0 "$package" >"$scratch/lintian.log" 2>&1 || true
if grep -E '^E: ' "$scratch/lintian.log"; then
	fail "lintian reports errors"
fi

root=$scratch/root
dpkg-deb -x "$package" "$root"
unit=$root/usr/lib/systemd/system/drelmoor.service
[ -f "$unit" ] || fail "no service unit"
for setting in NoNewPrivileges=yes ProtectSystem=strict ProtectHome=yes \
	PrivateTmp=yes StateDirectory=drelmoor User=drelmoor KillSignal=SIGTERM \
	"RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6"; do
	grep -qx "$setting" "$unit" || fail "the unit lacks $setting"
done
[ -f "$root/usr/lib/sysusers.d/drelmoor.conf" ] || fail "no system user declared"

for way in --telnet --ssh --web; do
	grep -q "^ExecStart=/usr/bin/zenbo --host .*$way " "$unit" \
		|| fail "the unit's host has no $way"
done

# The service's own commands, with the scratch root's programs and volume,
# and a free port instead of the service's, which another board may hold.
volume=$scratch/var/lib/drelmoor
rewrite() {
	sed -e "s|/usr/bin/|$root/usr/bin/|g" -e "s|/var/lib/drelmoor|$volume|g" \
		-e "s|--telnet [^ ]*|--telnet 127.0.0.1:0|" \
		-e "s|--ssh [^ ]*|--ssh 127.0.0.1:0|" -e "s|--web [^ ]*|--web 127.0.0.1:0|"
}
prepare=$(sed -n 's/^ExecStartPre=//p' "$unit" | rewrite)
start=$(sed -n 's/^ExecStart=//p' "$unit" | rewrite)
mkdir -p "$volume"
$prepare 2>"$scratch/prepare.log" || fail "ExecStartPre failed: $(cat "$scratch/prepare.log")"
$start 2>"$scratch/host.log" &
host=$!
for _ in $(seq 100); do
	grep -q "serving the web terminal" "$scratch/host.log" && break
	sleep 0.1
done
grep -q "serving the boot volume" "$scratch/host.log" || fail "the host did not start: $(cat "$scratch/host.log")"
grep -q "taking telnet callers at 127.0.0.1 port [1-9]" "$scratch/host.log" \
	|| fail "the host takes no telnet callers: $(cat "$scratch/host.log")"
grep -q "taking SSH callers at 127.0.0.1 port [1-9][0-9]* (host key SHA256:" \
	"$scratch/host.log" || fail "the host takes no SSH callers: $(cat "$scratch/host.log")"
key=$volume/home/Zenbo/ssh_host_ed25519_key
[ "$(stat -c %a "$key")" = 600 ] || fail "the SSH host key is not the host's alone"
# The installed page, from the package's own files.
webport=$(sed -n 's/.*serving the web terminal at 127.0.0.1 port \([0-9]*\).*/\1/p' \
	"$scratch/host.log")
[ -n "$webport" ] || fail "the host serves no web terminal: $(cat "$scratch/host.log")"
page=$(python3 -c "import urllib.request,sys; print(urllib.request.urlopen('http://127.0.0.1:$webport/').read().decode())") \
	|| fail "the installed web terminal page was not served"
grep -q "xterm" <<<"$page" || fail "the page is no terminal: $page"
python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$webport/xterm.js').read()" \
	|| fail "the installed page's xterm.js was not served"

output=$( (sleep 1; printf 'Wren\ny'; sleep 0.5; printf 'sq') \
	| BOOT_CLOCK=1700000000 timeout 60 "$root/usr/bin/zenbo" --stdio --user Wren \
		--volume "$volume" 2>/dev/null) || fail "the game did not end cleanly"
grep -q "Status for \[Wren\]:" <<<"$output" || fail "no status: $output"
[ -s "$volume/home/Zenbo/doors/vrask/users/Wren" ] || fail "no player file"

kill -TERM "$host"
status=0
wait "$host" || status=$?
host=
[ "$status" -eq 0 ] || fail "the host ended with $status on SIGTERM"
grep -q "stopping on signal" "$scratch/host.log" || fail "no log of the stop"
grep -q "every session has ended and the door is gone" "$scratch/host.log" \
	|| fail "the host did not wait for the door: $(cat "$scratch/host.log")"
echo "the package built, passed lintian, and its host served a game"
