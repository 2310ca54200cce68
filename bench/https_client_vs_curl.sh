#!/usr/bin/env bash
# vostrand-upload against curl over HTTPS, side by side, against one
# `vostrand-service --tls-cert` on loopback whose certificate comes from an authority made here
# with openssl (vostrand-upload --ca-file, curl --cacert): one large file, wall time, CPU time and
# peak RSS of the client (vostrand-upload, or the shell running curl's four requests), the
# faster of two runs each.
# Needs a build (scripts/build, or VOSTRAND_BUILD_DIR), openssl and python3; prints a Markdown
# table.
#   bench/https_client_vs_curl.sh [SIZE_MIB]
set -euo pipefail
size_mib=${1:-1024}
source "$(dirname "$0")/common.sh"

echo "making an authority and a certificate for 127.0.0.1" >&2
ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
openssl req -x509 "${ec[@]}" -days 1 -subj "/CN=Vostrand Bench CA" -keyout "$work/ca.key" \
    -out "$work/ca.pem" -addext basicConstraints=critical,CA:TRUE 2>/dev/null
openssl req "${ec[@]}" -subj /CN=127.0.0.1 -keyout "$work/server.key" -out "$work/server.csr" \
    2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\n' >"$work/server.ext"
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
    -CAcreateserial -days 1 -extfile "$work/server.ext" -out "$work/server.pem" 2>/dev/null

start_service "$size_mib" --tls-cert "$work/server.pem" --tls-key "$work/server.key"
write_large_file "$size_mib"

# Each client runs twice, in turns, and its faster run counts: the first upload after the file
# was written pays for the disk more than the later ones. Dirty pages are written back before
# every run, so no run pays for another's disk writes.
upload_client() {
    measure --stdout "$work/client.txt" "$bin/vostrand-upload" --base-url "$base" \
        --ca-file "$work/ca.pem" --config "$work/none.ini" --language English --quiet \
        --retries 0 "$work/large.bin"
}
upload_curl() {
    VOSTRAND_CA_FILE="$work/ca.pem" measure --stdout "$work/curl.txt" "$here/curl_upload.sh" \
        "$base" "$work/large.bin"
}
faster() { # faster RESULT RESULT: the one with the shorter wall time
    local first second
    first=$(field wall_s "$1")
    second=$(field wall_s "$2")
    if python3 -c "import sys; sys.exit(0 if $first <= $second else 1)"; then
        echo "$1"
    else
        echo "$2"
    fi
}
client=
curl=
for turn in 1 2; do
    sync
    echo "uploading it with vostrand-upload ($turn)" >&2
    result=$(upload_client)
    check vostrand-upload "$result" "$work/client.txt" 1 "^https://"
    client=$(faster "${client:-$result}" "$result")
    sync
    echo "uploading it with curl ($turn)" >&2
    result=$(upload_curl)
    check curl "$result" "$work/curl.txt" 1 "^https://"
    curl=$(faster "${curl:-$result}" "$result")
done

echo
echo "| $size_mib MiB upload over HTTPS | wall time | client CPU time | client peak RSS |"
echo "|---|---|---|---|"
for row in "vostrand-upload --ca-file:$client" "curl -F --cacert:$curl"; do
    result=${row#*:}
    echo "| ${row%%:*} | $(field wall_s "$result") s | $(field cpu_s "$result") s" \
        "| $(field peak_rss_mib "$result") MiB |"
done
