#!/usr/bin/env bash
# The programs as a user meets them once installed.
#   install_test.sh tree|package BUILD_DIR SOURCE_DIR VERSION WINDOW
# tree:    `cmake --install --prefix` into a temporary folder; the files there validated; the
#          service started by its unit's command line; a file uploaded with the installed
#          vostrand-upload from another folder and downloaded back; the installed window started
#          offscreen.
# package: the Debian package scripts/package made (skipped, code 77, when there is none or it is
#          older than the programs): its files and its dependencies.
# WINDOW=ON: the window's desktop entry and icons must be there and the installed window must read
# its language files; OFF: they are checked when present, and a window that only starts and ends
# passes.
set -euo pipefail
mode=$1 build=$2 source=$3 version=$4 window=$5

work=$(mktemp -d "${TMPDIR:-/tmp}/vostrand-install.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
skip() {
    echo "SKIP: $*"
    exit 77
}

window_files=(share/applications/vostrand-uploader.desktop
              share/icons/hicolor/scalable/apps/vostrand-uploader.svg
              share/icons/hicolor/48x48/apps/vostrand-uploader.png
              share/icons/hicolor/256x256/apps/vostrand-uploader.png)

# The files under the prefix, sorted; $1 = yes lists the window's desktop entry and icons too.
expected_files() {
    {
        printf '%s\n' bin/vostrand-uploader bin/vostrand-upload bin/vostrand-service \
            lib/systemd/user/vostrand-service.service \
            share/metainfo/com.vostrand.Uploader.metainfo.xml \
            share/man/man1/vostrand-uploader.1.gz share/man/man1/vostrand-upload.1.gz \
            share/man/man1/vostrand-service.1.gz
        for lang in "$source"/language/*.ini; do
            echo "share/vostrand-uploader/language/${lang##*/}"
        done
        if [ "$1" = yes ]; then printf '%s\n' "${window_files[@]}"; fi
    } | LC_ALL=C sort
}

# $1: the files found, one per line, sorted. Without the window's files expected, a list with
# all of them passes too (they land with the window).
check_file_list() {
    expected_files yes >"$work/expected.window"
    expected_files no >"$work/expected.bare"
    if [ "$window" = ON ]; then
        diff -u "$work/expected.window" "$1" || fail "installed files differ from the list"
    elif ! cmp -s "$work/expected.window" "$1"; then
        diff -u "$work/expected.bare" "$1" || fail "installed files differ from the list"
    fi
}

if [ "$mode" = package ]; then
    command -v dpkg-deb >/dev/null || skip "no dpkg-deb"
    deb=$build/vostrand-uploader_${version}_amd64.deb
    [ -f "$deb" ] || skip "no $deb: scripts/package makes it"
    for program in vostrand-uploader vostrand-upload vostrand-service; do
        if [ "$build/bin/$program" -nt "$deb" ]; then
            skip "$deb is older than bin/$program: run scripts/package"
        fi
    done
    [ "$(dpkg-deb -f "$deb" Package)" = vostrand-uploader ] || fail "package name"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub("^\\./usr/", "", $6); print $6 }' |
        LC_ALL=C sort >"$work/files"
    check_file_list "$work/files"
    depends=$(dpkg-deb --info "$deb" | sed -n 's/^ Depends: //p')
    echo "Depends: $depends"
    # Versioned entries come from dpkg-shlibdeps; the plugins Qt loads at run time are named by
    # hand.
    IFS=, read -r -a entries <<<"${depends//, /,}"
    names() {
        for entry in "${entries[@]}"; do
            [[ "$entry" == $1 ]] && return 0
        done
        return 1
    }
    for library in libc6 libstdc++6 libqt6core6 libqt6network6 libqt6widgets6 libcpp-httplib; do
        names "$library* (>= *)" || fail "Depends lacks $library with a version"
    done
    for plugin in qt6-qpa-plugins libqt6svg6; do
        names "$plugin" || fail "Depends lacks $plugin"
    done
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/user/vostrand-service.service |
        grep -qx 'ExecStart=/usr/bin/vostrand-service --host 127.0.0.1 --port 8931' ||
        fail "the packaged unit does not start /usr/bin/vostrand-service on loopback"
    echo "package: $deb checked"
    exit 0
fi

for tool in appstreamcli desktop-file-validate man curl inotifywait; do
    command -v "$tool" >/dev/null || fail "$tool is missing: scripts/setup installs it"
done
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
    { cat "$work/install.log" >&2; fail "cmake --install"; }
(cd "$prefix" && find . -type f -printf '%P\n' | LC_ALL=C sort) >"$work/files"
check_file_list "$work/files"

appstreamcli validate --no-net "$prefix/share/metainfo/com.vostrand.Uploader.metainfo.xml" ||
    fail "appstreamcli validate"
if [ -f "$prefix/share/applications/vostrand-uploader.desktop" ]; then
    desktop-file-validate "$prefix/share/applications/vostrand-uploader.desktop" ||
        fail "desktop-file-validate"
    grep -qx 'Exec=vostrand-uploader %F' "$prefix/share/applications/vostrand-uploader.desktop" ||
        fail "the desktop entry does not start vostrand-uploader with the files"
fi
for page in "$prefix"/share/man/man1/*.1.gz; do
    name=${page##*/}
    name=${name%.1.gz}
    LC_ALL=C MANWIDTH=80 man --warnings -l "$page" >"$work/page" 2>"$work/page.err"
    [ ! -s "$work/page.err" ] || { cat "$work/page.err" >&2; fail "man warns on $name"; }
    grep -Eq "^ +$name +- " "$work/page" || fail "$name's manual page has no NAME line"
done

unit=$prefix/lib/systemd/user/vostrand-service.service
if command -v systemd-analyze >/dev/null; then
    MANPATH=$prefix/share/man systemd-analyze verify "$unit" || fail "systemd-analyze verify"
fi

# The unit's own command line, with the user's data folder in a temporary home; a free port
# instead of 8931, which a service of the user may hold.
read -r -a command <<<"$(sed -n 's/^ExecStart=//p' "$unit")"
[ "${command[0]}" = "$prefix/bin/vostrand-service" ] || fail "the unit starts ${command[0]}"
mkdir -p "$work/home" "$work/elsewhere" "$work/run"
chmod 700 "$work/run"
user_env=(env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u VOSTRAND_BASE_URL -u DBUS_SESSION_BUS_ADDRESS
          HOME="$work/home" XDG_RUNTIME_DIR="$work/run")
"${user_env[@]}" "${command[@]}" --port 0 --quiet >"$work/service.out" 2>"$work/service.err" &
pids+=($!)
for _ in $(seq 1 100); do
    [ -s "$work/service.out" ] && break
    kill -0 "${pids[0]}" 2>/dev/null || { cat "$work/service.err" >&2; fail "the service ended"; }
    sleep 0.1
done
base=$(head -n 1 "$work/service.out")
[[ "$base" == http://127.0.0.1:*/ ]] || fail "the service announced '$base', not a loopback URL"

cd "$work/elsewhere"
head -c 307200 /dev/urandom >sample.bin
upload=("${user_env[@]}" "$prefix/bin/vostrand-upload" --base-url "$base" --quiet)
# The language folder it looks in shows in the refusal of a language it does not have.
set +e
"${upload[@]}" --language NoSuchLanguage sample.bin >/dev/null 2>"$work/refused"
code=$?
set -e
[ "$code" -eq 2 ] || fail "an unknown language gave exit code $code"
grep -qF "$prefix/share/vostrand-uploader/language/" "$work/refused" ||
    fail "vostrand-upload does not look in the prefix's language folder: $(cat "$work/refused")"
"${upload[@]}" --language Deutsch sample.bin >"$work/links" || fail "vostrand-upload failed"
link=$(head -n 1 "$work/links")
curl -sf -o "$work/download" "$link" || fail "download of $link"
cmp -s sample.bin "$work/download" || fail "the download differs from the upload"
stored=$(find "$work/home/.local/share/vostrand-service" -type f -size 307200c | head -n 1)
[ -n "$stored" ] && cmp -s sample.bin "$stored" ||
    fail "the upload is not kept in the user's data folder"

# The window, offscreen, from another folder: which language files it opens is seen from outside.
languages=$prefix/share/vostrand-uploader/language
inotifywait -m -e open --format %f "$languages" >"$work/opened" 2>"$work/inotify.err" &
pids+=($!)
for _ in $(seq 1 100); do
    grep -q 'Watches established' "$work/inotify.err" && break
    sleep 0.1
done
grep -q 'Watches established' "$work/inotify.err" || fail "inotifywait: $(cat "$work/inotify.err")"
"${user_env[@]}" QT_QPA_PLATFORM=offscreen "$prefix/bin/vostrand-uploader" \
    >"$work/window.out" 2>&1 &
window_pid=$!
pids+=("$window_pid")
read_language=
for _ in $(seq 1 200); do
    if grep -q '\.ini$' "$work/opened"; then
        read_language=1
        break
    fi
    kill -0 "$window_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -n "$read_language" ]; then
    kill -0 "$window_pid" 2>/dev/null || fail "the window ended: $(cat "$work/window.out")"
    echo "window: read $(sort -u "$work/opened" | grep '\.ini$' | tr '\n' ' ')"
elif [ "$window" = ON ]; then
    fail "the installed window did not read its language files: $(cat "$work/window.out")"
else
    set +e
    wait "$window_pid"
    code=$?
    set -e
    [ "$code" -eq 0 ] || fail "the window ended with $code: $(cat "$work/window.out")"
    echo "window: started and ended without reading its language files (WINDOW=OFF)"
fi
echo "install: $prefix checked, $link downloaded intact"
