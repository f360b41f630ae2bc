#!/usr/bin/env bash
# The package made from a build folder, as an administrator gets it: its files and declared dependencies read back
# with dpkg-deb, its desktop entry validated, and the client extracted from it started on a fresh data folder,
# where it must find the database the package delivers.
#   tests/package_test.sh BUILD_DIR VERSION
# The build is packed as it is, without compression or stripping: what is checked is what goes in, not its size.
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2

work=$(mktemp -d)
client=
cleanup() {
  if [[ -n $client ]]; then kill -KILL "$client" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

(cd "$build" && cpack -G DEB -B "$work/out" -D CPACK_DEBIAN_COMPRESSION_TYPE=none -D CPACK_STRIP_FILES=OFF) \
  >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/out/vornic-client_${version}_$(dpkg --print-architecture).deb"
[[ -f $deb ]] || fail "no package $deb; cpack made: $(ls "$work/out")"

[[ $(dpkg-deb -f "$deb" Package) == vornic-client ]] || fail "package name $(dpkg-deb -f "$deb" Package)"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "package version $(dpkg-deb -f "$deb" Version)"

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
expected=(
  ./usr/bin/VornicClient
  ./usr/lib/vornic-client/make_database
  ./usr/share/vornic-client/FB_PROJECT.sql
  ./usr/share/vornic-client/FB_PROJECT.GDB
  ./usr/share/vornic-client/compare_bd.xml
  ./usr/share/applications/vornic-client.desktop
  ./usr/share/icons/hicolor/scalable/apps/vornic-client.svg
  ./etc/vornic-client/update-keys/
)
for size in 16 32 48 64 128 256; do expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/vornic-client.png"); done
for file in "${expected[@]}"; do
  grep -qxF "$file" <<<"$files" || fail "$file is not in the package; it holds:"$'\n'"$files"
done
# Nothing of the build's own tools or tests goes to workstations.
for stray in readings_server demo_data update_key vornic_tests; do
  ! grep -q "/$stray\$" <<<"$files" || fail "$stray is in the package"
done

# Linked libraries come from dpkg-shlibdeps; the engine and the platform plug-ins are loaded without linking and
# are named by hand. A fresh system's apt pulls in exactly these.
depends=$(dpkg-deb -f "$deb" Depends)
needed=(libqt6core6 libqt6gui6 libqt6widgets6 libfbclient2 libcurl4 libjpeg62-turbo "libxlsxwriter[0-9]*" libssl3
  firebird3.0-server-core qt6-qpa-plugins)
if ldd "$build/VornicClient" | grep -q libQt6Charts; then needed+=(libqt6charts6); fi
for package in "${needed[@]}"; do
  grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "$package is not among the dependencies: $depends"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/vornic-client.desktop" || fail "the desktop entry is invalid"
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/vornic-client.desktop")
[[ -x "$root/usr/bin/${exec_line%% *}" ]] || fail "the desktop entry starts $exec_line, which the package lacks"
if ldd "$root/usr/bin/VornicClient" | grep 'not found'; then fail "the client's libraries are not all found"; fi

"$root/usr/lib/vornic-client/make_database" "$work/made.GDB" || fail "the packaged make_database failed"

# A first start on a workstation: no data folder at all.
data="$work/data"
HOME="$work" XDG_DATA_HOME="$data" QT_QPA_PLATFORM=offscreen "$root/usr/bin/VornicClient" >"$work/client.log" 2>&1 &
client=$!
database="$data/Vornic_Client/DB/FB_PROJECT.GDB"
for _ in $(seq 100); do
  [[ -f $database ]] && break
  kill -0 "$client" 2>/dev/null || break
  sleep 0.1
done
[[ -f $database ]] || { cat "$work/client.log"; fail "the client did not copy the delivered database"; }
# Running means still up a moment later: a failed connection would have stopped it at its message.
sleep 2
kill -0 "$client" 2>/dev/null || { cat "$work/client.log"; fail "the client ended by itself"; }

# Asked to end, it closes as the operator would: the main window, made on the copied database, saves its layout.
kill -TERM "$client"
for _ in $(seq 100); do
  kill -0 "$client" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$client" 2>/dev/null; then
  cat "$work/client.log"
  fail "the client did not end when asked"
fi
status=0
wait "$client" || status=$?
client=
[[ $status == 0 ]] || { cat "$work/client.log"; fail "the client ended with $status"; }
grep -q '^\[TForm1\]' "$data/Vornic_Client/options.ini" || fail "the main window did not close as after a normal run"
echo "vornic-client_${version}: files, dependencies, desktop entry and a first start are as they should be"
