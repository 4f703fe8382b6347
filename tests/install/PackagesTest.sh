#!/usr/bin/env bash
# The Debian packages as an administrator gets them: cpack makes them from the build tree,
# dpkg-deb unpacks them into a scratch root, and the programs run from there with only
# their RPATHs and the host's plug-in lookup to find what they load (no LD_LIBRARY_PATH).
#
# PackagesTest.sh BUILD_DIR CPACK SAMPLE_PACKET
set -euo pipefail

BUILD=$1
CPACK=$2
SAMPLE=$3

WORK=$(mktemp -d "${TMPDIR:-/tmp}/quillon-packages.XXXXXX")
ROOT=$WORK/root
SERVER_PID=
cleanup() {
    if [ -n "$SERVER_PID" ]; then kill -KILL "$SERVER_PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Runs an installed program as a user would: nothing points the loader anywhere.
installed() {
    env -u LD_LIBRARY_PATH -u QT_PLUGIN_PATH "$@"
}

# ---- the packages ---------------------------------------------------------------------------

"$CPACK" --config "$BUILD/CPackConfig.cmake" -B "$WORK/packages" >"$WORK/cpack.log" 2>&1 ||
    { cat "$WORK/cpack.log" >&2; fail "cpack did not make the packages"; }

declare -A DEB
for name in quillon-common quillon-host quillon-server; do
    debs=("$WORK/packages/${name}_"*.deb)
    [ -f "${debs[0]}" ] || fail "cpack made no package $name: $(ls "$WORK/packages")"
    DEB[$name]=${debs[0]}
    dpkg-deb -x "${DEB[$name]}" "$ROOT"
    mkdir -p "$WORK/control/$name"
    dpkg-deb -e "${DEB[$name]}" "$WORK/control/$name"
done
count=$(find "$WORK/packages" -maxdepth 1 -name '*.deb' | wc -l)
[ "$count" -eq 3 ] || fail "expected 3 packages, cpack made $count"

for f in usr/bin/quillon-host usr/bin/quillon-server usr/bin/orvpacket \
    usr/lib/quillon/libquillon.so usr/lib/quillon/liborvhost.so \
    usr/lib/systemd/system/quillon-server.service etc/quillon/quillon-server.conf \
    usr/share/applications/quillon-host.desktop; do
    [ -f "$ROOT/$f" ] || fail "no /$f in the packages"
done
# The programs and nothing else: tests and benchmarks stay in the build tree.
programs=$(ls "$ROOT/usr/bin" | tr '\n' ' ')
[ "$programs" = "orvpacket quillon-host quillon-server " ] || fail "usr/bin holds: $programs"
[ -z "$(find "$ROOT" -iname '*test*' -o -iname '*bench*' -o -iname '*fuzz*')" ] ||
    fail "test or benchmark files in the packages: $(find "$ROOT" -iname '*test*' -o -iname '*bench*')"

depends() { dpkg-deb -f "${DEB[$1]}" Depends; }
# The package relations, and libraries found by dpkg-shlibdeps rather than listed by hand.
depends quillon-host | grep -q 'quillon-common (= ' || fail "quillon-host Depends: $(depends quillon-host)"
depends quillon-host | grep -q 'libqt6widgets6' || fail "quillon-host Depends: $(depends quillon-host)"
depends quillon-server | grep -q 'quillon-common (= ' || fail "quillon-server Depends: $(depends quillon-server)"
depends quillon-server | grep -q 'libsqlite3-0' || fail "quillon-server Depends: $(depends quillon-server)"
depends quillon-server | grep -qw 'adduser' || fail "quillon-server Depends: $(depends quillon-server)"
depends quillon-common | grep -q 'libpugixml' || fail "quillon-common Depends: $(depends quillon-common)"

# The configuration survives upgrades as a conffile, and the maintainer scripts are sound.
CONTROL=$WORK/control/quillon-server
grep -qx /etc/quillon/quillon-server.conf "$CONTROL/conffiles" ||
    fail "conffiles: $(cat "$CONTROL/conffiles" 2>/dev/null)"
for script in postinst prerm postrm; do
    [ -x "$CONTROL/$script" ] || fail "quillon-server has no executable $script"
    sh -n "$CONTROL/$script" || fail "$script does not parse"
done

# The unit starts the installed program, as the service's user, on the installed configuration.
UNIT=$ROOT/usr/lib/systemd/system/quillon-server.service
read -r program serve config_flag config < <(sed -n 's/^ExecStart=//p' "$UNIT")
[ "$program" = /usr/bin/quillon-server ] && [ "$serve" = serve ] && [ "$config_flag" = --config ] &&
    [ "$config" = /etc/quillon/quillon-server.conf ] || fail "ExecStart: $(grep ExecStart "$UNIT")"
grep -qx 'User=quillon' "$UNIT" || fail "the unit does not run as quillon"
grep -qx 'StateDirectory=quillon' "$UNIT" || fail "the unit does not keep /var/lib/quillon"
grep -qx 'db = /var/lib/quillon/quillon.db' "$ROOT$config" || fail "the default database is not under /var/lib/quillon"
grep -qx 'Exec=quillon-host' "$ROOT/usr/share/applications/quillon-host.desktop" ||
    fail "the desktop entry does not start quillon-host"

# ---- the programs, run from the scratch root ----------------------------------------------

for p in quillon-host quillon-server orvpacket; do
    libs=$(installed ldd "$ROOT/usr/bin/$p")
    if grep -q 'not found' <<<"$libs"; then fail "$p: $libs"; fi
    grep -q "liborvhost.so => $ROOT/usr/bin/../lib/quillon/liborvhost.so" <<<"$libs" ||
        fail "$p does not load the installed liborvhost.so: $libs"
done

# The host finds its plug-in in the installed plug-in folder; a window opens and is saved.
mkdir -p "$WORK/home"
installed HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/config" XDG_DATA_HOME="$WORK/home/data" \
    XDG_RUNTIME_DIR="$WORK/home" QT_QPA_PLATFORM=offscreen \
    "$ROOT/usr/bin/quillon-host" --db "$WORK/x.db" --open CmsShfMan --screenshot "$WORK/s.png" \
    >"$WORK/host.log" 2>&1 || { cat "$WORK/host.log" >&2; fail "the installed quillon-host failed"; }
[ "$(head -c 8 "$WORK/s.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "the installed quillon-host wrote no PNG"
[ -s "$WORK/x.db" ] || fail "the installed quillon-host made no database"

out=$(installed "$ROOT/usr/bin/orvpacket" check "$SAMPLE") || fail "the installed orvpacket failed"
grep -qx 'rows: 5' <<<"$out" || fail "orvpacket check printed: $out"

# quillon-server without a command: its usage, and status 2.
status=0
installed "$ROOT/usr/bin/quillon-server" >/dev/null 2>"$WORK/usage.log" || status=$?
[ "$status" -eq 2 ] && grep -q -- '--config FILE' "$WORK/usage.log" ||
    fail "quillon-server without a command: status $status, $(cat "$WORK/usage.log")"
# --help is asked for: usage on standard output, status 0. A misspelt flag is no silent default.
installed "$ROOT/usr/bin/quillon-server" --help | grep -q -- '--config FILE' ||
    fail "quillon-server --help printed no usage"
status=0
installed "$ROOT/usr/bin/quillon-server" serve --db "$WORK/y.db" --thread 4 >/dev/null 2>"$WORK/usage.log" || status=$?
[ "$status" -eq 2 ] && grep -q -- 'unknown option --thread' "$WORK/usage.log" ||
    fail "quillon-server with a misspelt flag: status $status, $(cat "$WORK/usage.log")"

# The server on a configuration file alone: it listens, lets the demo admin log in to the
# database the file names, and stops on SIGTERM with status 0.
cat >"$WORK/server.conf" <<EOF
# a scratch server
db = $WORK/server.db

listen = 127.0.0.1:0
  threads = 2
idle-minutes = 5
EOF
# Through env, not a shell function, so that the process started is the server itself.
env -u LD_LIBRARY_PATH "$ROOT/usr/bin/quillon-server" serve --config "$WORK/server.conf" 2>"$WORK/server.log" &
SERVER_PID=$!
port=
for _ in $(seq 300); do
    port=$(sed -n 's/^quillon-server: listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$WORK/server.log")
    [ -n "$port" ] && break
    kill -0 "$SERVER_PID" 2>/dev/null || { cat "$WORK/server.log" >&2; fail "quillon-server serve --config ended"; }
    sleep 0.1
done
[ -n "$port" ] || { cat "$WORK/server.log" >&2; fail "quillon-server did not say where it listens"; }

body='{"user":"admin","password":"quillon-admin"}'
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf 'POST /login HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: %d\r\n\r\n%s' \
    "${#body}" "$body" >&3
answer=$(timeout 20 cat <&3 | tr -d '\r')
exec 3>&-
grep -q '^HTTP/1\.[01] 200' <<<"$answer" && grep -q '"token"' <<<"$answer" ||
    { cat "$WORK/server.log" >&2; fail "login to the installed server answered: $answer"; }
[ -s "$WORK/server.db" ] || fail "the server did not open the database its configuration names"

kill -TERM "$SERVER_PID"
status=0
wait "$SERVER_PID" || status=$?
SERVER_PID=
[ "$status" -eq 0 ] || { cat "$WORK/server.log" >&2; fail "quillon-server ended with status $status on SIGTERM"; }
grep -qx 'quillon-server: stopped' "$WORK/server.log" || fail "quillon-server did not say it stopped"

echo "packages: $(cd "$WORK/packages" && ls -- *.deb | tr '\n' ' ')"
