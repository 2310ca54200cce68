#!/usr/bin/env bash
# Peak memory of vostrand-service while it receives and serves a large file: starts the service
# on a free loopback port with a temporary storage folder, walks the upload pages with curl for a
# file of SIZE_MB (default 1024, a sparse file unless RANDOM_DATA=1), downloads it back, and prints
# the service's peak resident set (VmHWM) after start, after the upload and after the download.
# Usage: bench/service_memory.sh [path to vostrand-service]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
service_bin=$(realpath "${1:-$root/build/bin/vostrand-service}")
size_mb=${SIZE_MB:-1024}

work=$(mktemp -d "${TMPDIR:-/tmp}/vostrand-service-bench.XXXXXX")
pid=""
cleanup() {
    if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid"
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

cut_between() { # text, left, right: the client's way of reading a value out of a page
    local text=$1 left=$2 right=$3 rest
    [[ $text == *"$left"* ]] || return 0
    rest=${text#*"$left"}
    [[ $rest == *"$right"* ]] || return 0
    printf '%s' "${rest%%"$right"*}"
}

hwm_kib() { awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status"; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status"; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }
now() { date +%s.%N; }
rate() { awk -v s="$size_mb" -v a="$1" -v b="$2" 'BEGIN { printf "%.1f s, %.0f MiB/s", b - a, s / (b - a) }'; }

if [[ ${RANDOM_DATA:-0} == 1 ]]; then
    head -c $((size_mb * 1048576)) /dev/urandom >big.bin
else
    truncate -s $((size_mb * 1048576)) big.bin
fi
expected=$(sha256sum big.bin | cut -d' ' -f1)

"$service_bin" --port 0 --storage "$work/storage" --max-size-mb $((size_mb + 1)) --quiet \
    >service.out 2>service.err &
pid=$!
base=""
for _ in $(seq 1 100); do
    base=$(head -n 1 service.out)
    [[ -n $base ]] && break
    sleep 0.05
done
[[ -n $base ]] || {
    echo "service did not start: $(cat service.err)" >&2
    exit 1
}
start_hwm=$(hwm_kib)

page=$(curl -s -c jar "$base")
field() { cut_between "$page" "<input type=\"hidden\" name=\"$1\" value=\"" '"'; }
action=$(cut_between "$page" '<FORM name=uploadform onsubmit="return postIt();" action="' '"')

t0=$(now)
code=$(curl -s -o /dev/null -w '%{http_code}' -b jar \
    --form-string "sessionid=$(field sessionid)" \
    --form-string "UploadSession=$(field UploadSession)" \
    --form-string "AccessKey=$(field AccessKey)" \
    --form-string "maxfilesize=$(field maxfilesize)" \
    --form-string "phpuploadscript=$(field phpuploadscript)" \
    --form-string "returnurl=$(field returnurl)" \
    -F "uploadfile_0=@big.bin;filename=big.bin" \
    --form-string "file_referal[0]=" --form-string "file_descr[0]=" \
    --form-string "file_password[0]=" --form-string "file_search[0]=0" "$action")
t1=$(now)
[[ $code == 302 ]] || {
    echo "upload answered $code" >&2
    exit 1
}
upload_hwm=$(hwm_kib)

links=$(curl -s -b jar --data \
    "UploadSession=$(field UploadSession)&AccessKey=$(field AccessKey)&uploadmode=1&submitnums=1&toemail=&fromemail=" \
    "${base}emaillinks.php")
download=$(cut_between "$links" '<A id=downloadhref href="' '"')
t2=$(now)
actual=$(curl -s "$download" | sha256sum | cut -d' ' -f1)
t3=$(now)
download_hwm=$(hwm_kib)
end_rss=$(rss_kib)

echo "vostrand-service memory with a $size_mb MiB file ($([[ ${RANDOM_DATA:-0} == 1 ]] && echo random || echo sparse) data)"
echo "  peak RSS after start:     $(mib "$start_hwm")"
echo "  peak RSS after upload:    $(mib "$upload_hwm")   (upload $(rate "$t0" "$t1"))"
echo "  peak RSS after download:  $(mib "$download_hwm")   (download $(rate "$t2" "$t3"))"
echo "  RSS at the end:           $(mib "$end_rss")"
if [[ $actual == "$expected" ]]; then
    echo "  downloaded bytes match (sha256 $actual)"
else
    echo "  downloaded bytes DIFFER: $actual, expected $expected" >&2
    exit 1
fi
