#!/usr/bin/env bash
# An installed copy plays on its own: installed into a prefix and moved
# elsewhere, it finds its libraries by its relative search path and its data
# files under share/drelmoor, lays out a volume and plays a game.
#   installed_copy_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
mv "$scratch/prefix" "$scratch/moved"
copy=$scratch/moved

fail() { echo "FAIL: $*" >&2; exit 1; }

# Read whole first: grep -q leaving early would end ldd by SIGPIPE, which
# pipefail takes for a failure.
door_libraries=$(ldd "$copy/bin/Drelmoor")
host_libraries=$(ldd "$copy/bin/zenbo")
grep -q "$copy/bin/../lib/drelmoor/libZenboDoorKit.so" <<<"$door_libraries" \
	|| fail "the door does not find its installed door kit"
grep -q "not found" <<<"$host_libraries" && fail "zenbo misses a library"

version=$("$copy/bin/zenbo" --version)
grep -qx "zenbo (Drelmoor) [0-9.]*" <<<"$version" \
	|| fail "zenbo --version says: $version"

# The volume named by a config file, as a sysop's service would.
printf 'volume = "%s"\n' "$scratch/volume" >"$scratch/zenbo.toml"
"$copy/bin/zenbo" --make-volume --config "$scratch/zenbo.toml" 2>"$scratch/make.log" \
	|| fail "--make-volume failed: $(cat "$scratch/make.log")"
for file in monsters weapons armor; do
	cmp -s "$source/data/$file" "$scratch/volume/home/Zenbo/doors/vrask/$file" \
		|| fail "the volume's $file is not the installed one"
done

# The installed data, not the source tree's, is what a new volume gets.
printf '1\nMarked Stick\n' >"$copy/share/drelmoor/weapons"
"$copy/bin/zenbo" --make-volume --volume "$scratch/marked" 2>/dev/null
cmp -s "$copy/share/drelmoor/weapons" "$scratch/marked/home/Zenbo/doors/vrask/weapons" \
	|| fail "--make-volume did not take the installed data files"

output=$( (sleep 1; printf 'Ash\ny'; sleep 0.5; printf 'sq') \
	| BOOT_CLOCK=1700000000 timeout 60 "$copy/bin/zenbo" --stdio --user Ash \
		--volume "$scratch/volume" 2>"$scratch/play.log") \
	|| fail "the game did not end cleanly: $(cat "$scratch/play.log")"
grep -q "Welcome to Drelmoor!" <<<"$output" || fail "no greeting: $output"
grep -q "Cave Fights left for today: 15" <<<"$output" || fail "no status: $output"
[ -s "$scratch/volume/home/Zenbo/doors/vrask/users/Ash" ] || fail "no player file"
echo "the installed copy played a game"
