#!/usr/bin/env bash
# install_test.sh tree|package BUILD_DIR SOURCE_DIR VERSION WINDOW: the programs once installed
# by `cmake --install`, or the .deb of scripts/package (code 77 when missing or older than they).
set -euo pipefail
mode=$1 build=$2 source=$3 version=$4 window=$5
work=$(mktemp -d "${TMPDIR:-/tmp}/vostrand-install.XXXXXX")
pids=()
cleanup() { set +e; kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }
await() { for _ in $(seq 200); do eval "$1" && return 0; sleep 0.1; done; return 1; }

# $1: the files found, one per line, sorted; they must be exactly the expected ones.
check_file_list() {
    {
        printf '%s\n' bin/vostrand-uploader bin/vostrand-upload bin/vostrand-service \
            lib/systemd/user/vostrand-service.service \
            share/metainfo/com.vostrand.Uploader.metainfo.xml
        printf 'share/man/man1/%s.1.gz\n' vostrand-uploader vostrand-upload vostrand-service
        (cd "$source/language" && printf 'share/vostrand-uploader/language/%s\n' *.ini)
        [ "$window" != ON ] || printf 'share/%s\n' applications/vostrand-uploader.desktop \
            icons/hicolor/scalable/apps/vostrand-uploader.svg \
            icons/hicolor/{48x48,256x256}/apps/vostrand-uploader.png
    } | LC_ALL=C sort | diff -u - "$1" || fail "installed files differ from the list"
}

if [ "$mode" = package ]; then
    command -v dpkg-deb >/dev/null || skip "no dpkg-deb"
    deb=$build/vostrand-uploader_${version}_amd64.deb
    [ -f "$deb" ] || skip "no $deb: scripts/package makes it"
    for p in vostrand-uploader vostrand-upload vostrand-service; do
        [ ! "$build/bin/$p" -nt "$deb" ] || skip "$deb is older than bin/$p"; done
    [ "$(dpkg-deb -f "$deb" Package Version | tr '\n' ' ')" = "Package: vostrand-uploader \
Version: $version " ] || fail "package name or version"
    check_file_list <(dpkg-deb -c "$deb" |
        awk '$1 !~ /^d/ { sub("^\\./usr/", "", $6); print $6 }' | LC_ALL=C sort)
    # Versioned entries come from dpkg-shlibdeps; the plugins Qt loads are named by hand.
    IFS=, read -r -a entries <<<"$(dpkg-deb -f "$deb" Depends | sed 's/, /,/g')"
    has() { for e in "${entries[@]}"; do [[ $e == $1 ]] && return; done; fail "Depends lacks $1"; }
    for lib in libc6 libstdc++6 libqt6core6 libqt6network6 libqt6widgets6 libcpp-httplib; do
        has "$lib* (>= *)"
    done
    has qt6-qpa-plugins && has libqt6svg6
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/user/vostrand-service.service |
        grep -qx 'ExecStart=/usr/bin/vostrand-service --host 127.0.0.1 --port 8931' ||
        fail "the packaged unit does not start /usr/bin/vostrand-service on loopback"
    echo "package: $deb checked" && exit 0
fi

prefix=$work/prefix languages=$work/prefix/share/vostrand-uploader/language
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install"
check_file_list <(cd "$prefix" && find . -type f -printf '%P\n' | LC_ALL=C sort)
appstreamcli validate --no-net "$prefix"/share/metainfo/*.xml || fail "appstreamcli validate"
desktop=$prefix/share/applications/vostrand-uploader.desktop
[ ! -f "$desktop" ] || { desktop-file-validate "$desktop" &&
    grep -qx 'Exec=vostrand-uploader %F' "$desktop"; } || fail "the desktop entry"
for page in "$prefix"/share/man/man1/*.1.gz; do
    name=$(basename "$page" .1.gz)
    LC_ALL=C MANWIDTH=80 man --warnings -l "$page" 2>"$work/page.err" |
        grep -E "^ +$name +- " >/dev/null && [ ! -s "$work/page.err" ] ||
        fail "$name's manual page: $(cat "$work/page.err")"
done
unit=$prefix/lib/systemd/user/vostrand-service.service
! command -v systemd-analyze >/dev/null ||
    MANPATH=$prefix/share/man systemd-analyze verify "$unit" || fail "systemd-analyze verify"

# The unit's command line, with a temporary home and a free port (the user's may hold 8931).
read -r -a command <<<"$(sed -n 's/^ExecStart=//p' "$unit")"
[ "${command[0]}" = "$prefix/bin/vostrand-service" ] || fail "the unit starts ${command[0]}"
mkdir -p "$work/home" "$work/elsewhere" && mkdir -m 700 "$work/run"
user_env=(env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u VOSTRAND_BASE_URL -u DBUS_SESSION_BUS_ADDRESS
          HOME="$work/home" XDG_RUNTIME_DIR="$work/run")
"${user_env[@]}" "${command[@]}" --port 0 --quiet >"$work/service.out" 2>"$work/service.err" &
pids+=($!)
await '[ -s "$work/service.out" ]' || true
base=$(head -n 1 "$work/service.out")
[[ "$base" == http://127.0.0.1:*/ ]] ||
    fail "the service announced '$base', not a loopback URL: $(cat "$work/service.err")"

# From another folder; the language folder it looks in shows in the refusal of a language.
cd "$work/elsewhere"
head -c 307200 /dev/urandom >sample.bin
upload=("${user_env[@]}" "$prefix/bin/vostrand-upload" --base-url "$base" --quiet)
code=$("${upload[@]}" --language NoSuchLanguage sample.bin 2>"$work/refused" >/dev/null; echo $?)
[ "$code" -eq 2 ] && grep -qF "$languages/" "$work/refused" ||
    fail "an unknown language (code $code) did not name the prefix's language folder"
link=$("${upload[@]}" --language Deutsch sample.bin | sed -n 1p) || fail "vostrand-upload failed"
curl -sf "$link" | cmp -s sample.bin - || fail "download of $link"
stored=$(find "$work/home/.local/share/vostrand-service" -type f -size 307200c | head -n 1)
[ -n "$stored" ] && cmp -s sample.bin "$stored" || fail "the upload is not in the data folder"

# The window, offscreen: which language files it opens is seen from outside.
[ "$window" = ON ] || { echo "install: $prefix checked, $link downloaded intact"; exit 0; }
inotifywait -m -e open --format %f "$languages" >"$work/opened" 2>"$work/inotify.err" &
pids+=($!)
await 'grep -q "Watches established" "$work/inotify.err"' ||
    fail "inotifywait: $(cat "$work/inotify.err")"
"${user_env[@]}" QT_QPA_PLATFORM=offscreen "$prefix/bin/vostrand-uploader" >"$work/window" 2>&1 &
pids+=($!)
await 'grep -q "\.ini$" "$work/opened" || ! kill -0 ${pids[-1]} 2>/dev/null' || true
grep -q '\.ini$' "$work/opened" && kill -0 "${pids[-1]}" 2>/dev/null ||
    fail "the window read no language file or ended: $(cat "$work/window")"
echo "install: $prefix checked, $link intact, window read $(sort -u "$work/opened" | tr '\n' ' ')"
