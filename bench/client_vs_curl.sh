#!/usr/bin/env bash
# vostrand-upload against curl, side by side, against one vostrand-service on loopback:
#   1. one 1 GiB file: wall time, CPU time and peak RSS of the client (vostrand-upload, or the
#      shell running curl's four requests);
#   2. 200 small files (4 KiB): time per file, vostrand-upload in one run and curl making the
#      same four requests per file.
# Needs a build (scripts/build, or VOSTRAND_BUILD_DIR) and python3; prints a Markdown table.
#   bench/client_vs_curl.sh [SIZE_MIB] [SMALL_FILES]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
bin=${VOSTRAND_BUILD_DIR:-$root/build}/bin
size_mib=${1:-1024}
small_count=${2:-200}

work=$(mktemp -d "${TMPDIR:-/tmp}/vostrand-bench.XXXXXX")
service_pid=
cleanup() {
    if [ -n "$service_pid" ]; then
        kill "$service_pid" 2>/dev/null || true
        wait "$service_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

mkfifo "$work/service.out"
"$bin/vostrand-service" --port 0 --storage "$work/storage" --quiet \
    --max-size-mb $((size_mib + 16)) >"$work/service.out" &
service_pid=$!
read -r base <"$work/service.out"
echo "service at $base" >&2

client=("$bin/vostrand-upload" --base-url "$base" --config "$work/none.ini" --language English
    --quiet --retries 0)
measure() { python3 "$here/measure.py" "$@"; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p" <<<"$2"; }
check() { # check NAME RESULT LINKS_FILE EXPECTED_LINKS
    if [ "$(field exit "$2")" != 0 ] || [ "$(grep -c '^http' "$3")" != "$4" ]; then
        echo "$1 failed: $2" >&2
        exit 1
    fi
}

echo "writing a file of $size_mib MiB" >&2
head -c $((size_mib * 1048576)) /dev/urandom >"$work/large.bin"
echo "uploading it with vostrand-upload" >&2
large_client=$(measure --stdout "$work/client-large.txt" "${client[@]}" "$work/large.bin")
check vostrand-upload "$large_client" "$work/client-large.txt" 1
echo "uploading it with curl" >&2
large_curl=$(measure --stdout "$work/curl-large.txt" "$here/curl_upload.sh" "$base" "$work/large.bin")
check curl "$large_curl" "$work/curl-large.txt" 1
rm -f "$work/large.bin"

mkdir "$work/small"
for i in $(seq -w 1 "$small_count"); do
    head -c 4096 /dev/urandom >"$work/small/file-$i.bin"
done
echo "uploading $small_count small files with vostrand-upload" >&2
small_client=$(measure --stdout "$work/client-small.txt" "${client[@]}" "$work/small"/*)
check vostrand-upload "$small_client" "$work/client-small.txt" "$small_count"
echo "uploading them with curl" >&2
small_curl=$(measure --stdout "$work/curl-small.txt" "$here/curl_upload.sh" "$base" "$work/small"/*)
check curl "$small_curl" "$work/curl-small.txt" "$small_count"

per_file() { python3 -c "print('%.1f' % (1000 * $1 / $2))"; }
echo
echo "| $size_mib MiB upload | wall time | client CPU time | client peak RSS |"
echo "|---|---|---|---|"
for row in "vostrand-upload:$large_client" "curl -F:$large_curl"; do
    result=${row#*:}
    echo "| ${row%%:*} | $(field wall_s "$result") s | $(field cpu_s "$result") s | $(field peak_rss_mib "$result") MiB |"
done
echo
echo "| $small_count files of 4 KiB | wall time | time per file |"
echo "|---|---|---|"
for row in "vostrand-upload:$small_client" "curl (4 requests per file):$small_curl"; do
    result=${row#*:}
    wall=$(field wall_s "$result")
    echo "| ${row%%:*} | $wall s | $(per_file "$wall" "$small_count") ms |"
done
