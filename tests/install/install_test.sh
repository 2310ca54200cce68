#!/usr/bin/env bash
# The programs as a user meets them once installed.
#   install_test.sh tree|package BUILD_DIR SOURCE_DIR VERSION WINDOW
# tree: `cmake --install` into a temporary prefix: its files, the service started by its unit, an
# upload and download, the window offscreen. package: the .deb of scripts/package (skipped, code
# 77, when missing or older than the programs). WINDOW=ON: the window's files are expected too.
set -euo pipefail
mode=$1 build=$2 source=$3 version=$4 window=$5
work=$(mktemp -d "${TMPDIR:-/tmp}/vostrand-install.XXXXXX")
pids=()
cleanup() { set +e; kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }

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
    } | LC_ALL=C sort >"$work/expected"
    diff -u "$work/expected" "$1" || fail "installed files differ from the list"
}

if [ "$mode" = package ]; then
    command -v dpkg-deb >/dev/null || skip "no dpkg-deb"
    deb=$build/vostrand-uploader_${version}_amd64.deb
    [ -f "$deb" ] || skip "no $deb: scripts/package makes it"
    for program in vostrand-uploader vostrand-upload vostrand-service; do
        [ ! "$build/bin/$program" -nt "$deb" ] || skip "$deb is older than bin/$program"
    done
    [ "$(dpkg-deb -f "$deb" Package Version | tr '\n' ' ')" = "Package: vostrand-uploader \
Version: $version " ] || fail "package name or version"
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub("^\\./usr/", "", $6); print $6 }' |
        LC_ALL=C sort >"$work/files"
    check_file_list "$work/files"
    # Versioned entries come from dpkg-shlibdeps; the plugins Qt loads are named by hand.
    depends=$(dpkg-deb -f "$deb" Depends)
    IFS=, read -r -a entries <<<"${depends//, /,}"
    has() { for e in "${entries[@]}"; do case $e in $1) return 0 ;; esac; done; return 1; }
    for lib in libc6 libstdc++6 libqt6core6 libqt6network6 libqt6widgets6 libcpp-httplib; do
        has "$lib* (>= *)" || fail "Depends lacks $lib with a version"
    done
    for plugin in qt6-qpa-plugins libqt6svg6; do has "$plugin" || fail "Depends lacks $plugin"; done
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/user/vostrand-service.service |
        grep -qx 'ExecStart=/usr/bin/vostrand-service --host 127.0.0.1 --port 8931' ||
        fail "the packaged unit does not start /usr/bin/vostrand-service on loopback"
    echo "package: $deb checked"
    exit 0
fi

command -v appstreamcli desktop-file-validate man curl inotifywait >/dev/null ||
    fail "a tool is missing: scripts/setup installs it"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
    { cat "$work/install.log" >&2; fail "cmake --install"; }
(cd "$prefix" && find . -type f -printf '%P\n' | LC_ALL=C sort) >"$work/files"
check_file_list "$work/files"
appstreamcli validate --no-net "$prefix"/share/metainfo/*.xml || fail "appstreamcli validate"
desktop=$prefix/share/applications/vostrand-uploader.desktop
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
    grep -qx 'Exec=vostrand-uploader %F' "$desktop" || fail "the desktop entry's Exec line"
fi
for page in "$prefix"/share/man/man1/*.1.gz; do
    name=$(basename "$page" .1.gz)
    LC_ALL=C MANWIDTH=80 man --warnings -l "$page" >"$work/page" 2>"$work/page.err"
    [ ! -s "$work/page.err" ] || { cat "$work/page.err" >&2; fail "man warns on $name"; }
    grep -Eq "^ +$name +- " "$work/page" || fail "$name's manual page has no NAME line"
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
for _ in $(seq 100); do [ -s "$work/service.out" ] && break; sleep 0.1; done
base=$(head -n 1 "$work/service.out")
[[ "$base" == http://127.0.0.1:*/ ]] ||
    fail "the service announced '$base', not a loopback URL: $(cat "$work/service.err")"

# From another folder; the language folder it looks in shows in the refusal of a language.
cd "$work/elsewhere"
head -c 307200 /dev/urandom >sample.bin
upload=("${user_env[@]}" "$prefix/bin/vostrand-upload" --base-url "$base" --quiet)
code=0
"${upload[@]}" --language NoSuchLanguage sample.bin >/dev/null 2>"$work/refused" || code=$?
[ "$code" -eq 2 ] || fail "an unknown language gave exit code $code"
grep -qF "$prefix/share/vostrand-uploader/language/" "$work/refused" ||
    fail "vostrand-upload does not look in the prefix's language folder: $(cat "$work/refused")"
"${upload[@]}" --language Deutsch sample.bin >"$work/links" || fail "vostrand-upload failed"
link=$(head -n 1 "$work/links")
curl -sf -o "$work/download" "$link" && cmp -s sample.bin "$work/download" ||
    fail "download of $link"
stored=$(find "$work/home/.local/share/vostrand-service" -type f -size 307200c | head -n 1)
[ -n "$stored" ] && cmp -s sample.bin "$stored" || fail "the upload is not in the data folder"

# The window, offscreen: which language files it opens is seen from outside.
[ "$window" = ON ] || { echo "install: $prefix checked, $link downloaded intact"; exit 0; }
inotifywait -m -e open --format %f "$prefix/share/vostrand-uploader/language" >"$work/opened" \
    2>"$work/inotify.err" &
pids+=($!)
for _ in $(seq 100); do grep -q 'Watches established' "$work/inotify.err" && break; sleep 0.1; done
grep -q 'Watches established' "$work/inotify.err" || fail "inotifywait: $(cat "$work/inotify.err")"
"${user_env[@]}" QT_QPA_PLATFORM=offscreen "$prefix/bin/vostrand-uploader" >"$work/window" 2>&1 &
pids+=($!)
for _ in $(seq 200); do
    grep -q '\.ini$' "$work/opened" || ! kill -0 "${pids[-1]}" 2>/dev/null && break
    sleep 0.1
done
grep -q '\.ini$' "$work/opened" || fail "the window read no language file: $(cat "$work/window")"
kill -0 "${pids[-1]}" 2>/dev/null || fail "the window ended: $(cat "$work/window")"
echo "window: read $(grep '\.ini$' "$work/opened" | sort -u | tr '\n' ' ')"
echo "install: $prefix checked, $link downloaded intact"
