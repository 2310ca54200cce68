#!/usr/bin/env bash
# The four requests the client makes per file, made with curl: the upload page (session cookie
# and hidden form fields), the multipart post with the same form fields, the redirect target and
# emaillinks.php. Prints each file's download link. Used by client_vs_curl.sh and
# https_client_vs_curl.sh (VOSTRAND_CA_FILE: the authority an https service is checked against).
#   curl_upload.sh BASE_URL FILE...
set -euo pipefail
base=$1
shift
jar=$(mktemp "${TMPDIR:-/tmp}/vostrand-bench-cookies.XXXXXX")
trap 'rm -f "$jar"' EXIT
agent="Vostrand-Uploader V1.0"
curl() { command curl ${VOSTRAND_CA_FILE:+--cacert "$VOSTRAND_CA_FILE"} "$@"; }

field() { # field NAME < page
    sed -n "s/.*<input type=\"hidden\" name=\"$1\" value=\"\([^\"]*\)\".*/\1/p" | head -n 1
}

for file in "$@"; do
    : >"$jar"
    page=$(curl -sf -A "$agent" -c "$jar" -b "$jar" "$base")
    action=$(sed -n 's/.*<FORM name=uploadform onsubmit="return postIt();" action="\([^"]*\)".*/\1/p' <<<"$page")
    session=$(field UploadSession <<<"$page")
    access=$(field AccessKey <<<"$page")
    location=$(curl -sf -A "$agent" -c "$jar" -b "$jar" -o /dev/null -w '%{redirect_url}' \
        -F "sessionid=$(field sessionid <<<"$page")" \
        -F "UploadSession=$session" \
        -F "AccessKey=$access" \
        -F "maxfilesize=$(field maxfilesize <<<"$page")" \
        -F "phpuploadscript=$(field phpuploadscript <<<"$page")" \
        -F "returnurl=$(field returnurl <<<"$page")" \
        -F "uploadfile_0=@$file" \
        -F "file_referal[0]=" -F "file_descr[0]=" -F "file_password[0]=" -F "file_search[0]=0" \
        "$action")
    curl -sf -A "$agent" -c "$jar" -b "$jar" -o /dev/null "$location"
    curl -sf -A "$agent" -c "$jar" -b "$jar" \
        --data "UploadSession=$session&AccessKey=$access&uploadmode=1&submitnums=1&toemail=&fromemail=" \
        "${base}emaillinks.php" |
        sed -n 's/.*<A id=downloadhref href="\([^"]*\)".*/\1/p'
done
