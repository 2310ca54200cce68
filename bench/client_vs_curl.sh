#!/usr/bin/env bash
# vostrand-upload against curl, side by side, against one vostrand-service on loopback:
#   1. one 1 GiB file: wall time, CPU time and peak RSS of the client (vostrand-upload, or the
#      shell running curl's four requests);
#   2. 200 small files (4 KiB): time per file, vostrand-upload in one run and curl making the
#      same four requests per file.
# Needs a build (scripts/build, or VOSTRAND_BUILD_DIR) and python3; prints a Markdown table.
#   bench/client_vs_curl.sh [SIZE_MIB] [SMALL_FILES]
set -euo pipefail
size_mib=${1:-1024}
small_count=${2:-200}
source "$(dirname "$0")/common.sh"

start_service "$size_mib"

client=("$bin/vostrand-upload" --base-url "$base" --config "$work/none.ini" --language English
    --quiet --retries 0)
write_large_file "$size_mib"

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
