#!/usr/bin/env bash
# Walks vostrand-service's pages with curl only, the way an uploader client does, one scenario per
# run: service_protocol.sh <path to vostrand-service> <scenario>. Each scenario starts its own
# service on a free loopback port with a temporary storage folder and stops it again.
set -uo pipefail

SERVICE_BIN=$(realpath "${1:?usage: service_protocol.sh <vostrand-service> <scenario>}")
SCENARIO=${2:?usage: service_protocol.sh <vostrand-service> <scenario>}

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vostrand-service-test.XXXXXX")
STORAGE=$WORK/storage
SVC_PID=""
SVC_WRAP=() # a command the service runs under (prlimit)
SVC_QUIET=(--quiet)
BASE=""
FAILURES=0
WALKS=0

cleanup() {
    [[ $BASHPID == "$$" ]] || return 0 # a background walk may run the trap too
    if [[ -n $SVC_PID ]] && kill -0 "$SVC_PID" 2>/dev/null; then
        kill -TERM "$SVC_PID" 2>/dev/null
        wait "$SVC_PID" 2>/dev/null
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
cd "$WORK" || exit 1

fail() {
    echo "FAIL: $*" >&2
    FAILURES=$((FAILURES + 1))
}
expect_eq() { [[ $2 == "$3" ]] || fail "$1: expected '$2', got '$3'"; }      # what, expected, actual
expect_contains() { [[ $2 == *"$3"* ]] || fail "$1: '$3' not found"; }       # what, text, needle
expect_absent() { [[ $2 != *"$3"* ]] || fail "$1: '$3' should not be there"; } # what, text, needle

finish() {
    if ((FAILURES > 0)); then
        echo "$SCENARIO: $FAILURES check(s) failed" >&2
        exit 1
    fi
    echo "$SCENARIO: ok"
    exit 0
}

# The client's rule for reading a value: the text after the first left marker up to the next right
# marker, empty when either is missing.
cut_between() { # text, left, right
    local text=$1 left=$2 right=$3 rest
    [[ $text == *"$left"* ]] || return 0
    rest=${text#*"$left"}
    [[ $rest == *"$right"* ]] || return 0
    printf '%s' "${rest%%"$right"*}"
}

start_service() { # extra options... (a later --port replaces --port 0)
    local out=$WORK/service.out
    : >"$out"
    "${SVC_WRAP[@]}" "$SERVICE_BIN" --port 0 --storage "$STORAGE" "${SVC_QUIET[@]}" "$@" \
        >"$out" 2>"$WORK/service.err" &
    SVC_PID=$!
    for _ in $(seq 1 100); do
        BASE=$(head -n 1 "$out")
        [[ -n $BASE ]] && return 0
        kill -0 "$SVC_PID" 2>/dev/null || break
        sleep 0.05
    done
    echo "service did not start: $(cat "$WORK/service.err")" >&2
    exit 1
}

# SIGTERM, and the exit code it ends with; a service still running after 10 s is killed (137).
stop_service() {
    kill -TERM "$SVC_PID"
    sleep 10 &
    local watchdog=$! ended rc
    wait -n -p ended "$SVC_PID" "$watchdog"
    rc=$?
    if [[ $ended == "$watchdog" ]]; then
        kill -KILL "$SVC_PID"
        wait "$SVC_PID"
        rc=137
    else
        kill "$watchdog"
        wait "$watchdog" 2>/dev/null
    fi
    SVC_PID=""
    expect_eq "exit code after SIGTERM" 0 "$rc"
}

sha() { sha256sum "$1" | cut -d' ' -f1; }
make_file() { head -c $(($2 * 1024)) /dev/urandom >"$1"; } # path, size in KiB
http_code() { curl -s -o /dev/null -w '%{http_code}' "${@:2}" "$1"; } # url, curl options...
service_port() {
    local port=${BASE##*:}
    echo "${port%/}"
}

# Step 1: the start page. Sets JAR (a cookie jar, or a Cookie header given as text), PAGE_HEAD,
# PAGE and the form values.
open_form() { # cookie jar
    JAR=$1
    local me=$BASHPID store=$JAR
    [[ $JAR == *=* ]] && store=$WORK/jar.unused
    PAGE_HEAD=$(curl -s -D - -o "$WORK/page.$me.html" -b "$JAR" -c "$store" "$BASE")
    PAGE=$(cat "$WORK/page.$me.html")
    ACTION=$(cut_between "$PAGE" '<FORM name=uploadform onsubmit="return postIt();" action="' '"')
    F_SESSIONID=$(cut_between "$PAGE" '<input type="hidden" name="sessionid" value="' '"')
    F_UPLOADSESSION=$(cut_between "$PAGE" '<input type="hidden" name="UploadSession" value="' '"')
    F_ACCESSKEY=$(cut_between "$PAGE" '<input type="hidden" name="AccessKey" value="' '"')
    F_MAXFILESIZE=$(cut_between "$PAGE" '<input type="hidden" name="maxfilesize" value="' '"')
    F_SCRIPT=$(cut_between "$PAGE" '<input type="hidden" name="phpuploadscript" value="' '"')
    F_RETURNURL=$(cut_between "$PAGE" '<input type="hidden" name="returnurl" value="' '"')
}

# Step 2: the file, with the form's hidden fields first and the file's options after it, in the
# client's order. Sets UP_CODE, UP_HEAD, UP_BODY.
upload() { # file, filename as sent, password, extra curl options...
    local file=$1 name=$2 password=$3 me=$BASHPID
    shift 3
    UP_CODE=$(curl -s -o "$WORK/up.$me.body" -D "$WORK/up.$me.head" -w '%{http_code}' -b "$JAR" \
        -A "Vostrand-Uploader V1.0" \
        --form-string "sessionid=$F_SESSIONID" \
        --form-string "UploadSession=$F_UPLOADSESSION" \
        --form-string "AccessKey=$F_ACCESSKEY" \
        --form-string "maxfilesize=$F_MAXFILESIZE" \
        --form-string "phpuploadscript=$F_SCRIPT" \
        --form-string "returnurl=$F_RETURNURL" \
        -F "uploadfile_0=@$file;filename=\"$name\";type=application/octet-stream" \
        --form-string "file_referal[0]=layer-7" \
        --form-string "file_descr[0]=holiday pictures" \
        --form-string "file_password[0]=$password" \
        --form-string "file_search[0]=1" \
        "$@" "$ACTION")
    UP_HEAD=$(cat "$WORK/up.$me.head" 2>/dev/null)
    UP_BODY=$(cat "$WORK/up.$me.body" 2>/dev/null)
}

# Step 4: the links page. Sets LINKS, DOWNLOAD_URL, DELETE_URL.
get_links() {
    LINKS=$(curl -s -b "$JAR" -A "Vostrand-Uploader V1.0" \
        --data "UploadSession=$F_UPLOADSESSION&AccessKey=$F_ACCESSKEY&uploadmode=1&submitnums=1&toemail=&fromemail=" \
        "${BASE}emaillinks.php")
    DOWNLOAD_URL=$(cut_between "$LINKS" '<A id=downloadhref href="' '"')
    DELETE_URL=$(cut_between "$LINKS" '<A id=filedelhref href="' '"')
}

# The whole walk for one file; leaves DOWNLOAD_URL and DELETE_URL set.
walk() { # file, filename as sent, password
    WALKS=$((WALKS + 1))
    open_form "$WORK/jar.$BASHPID.$WALKS"
    upload "$1" "$2" "$3"
    expect_eq "upload answer" 302 "$UP_CODE"
    local location
    location=$(grep -i '^Location:' <<<"$UP_HEAD" | head -n 1 | cut -d' ' -f2- | tr -d '\r')
    expect_eq "redirect target" "$F_RETURNURL" "$location"
    expect_eq "redirect target answer" 200 "$(http_code "$location" -b "$JAR")"
    get_links
    [[ -n $DOWNLOAD_URL && -n $DELETE_URL ]] || fail "links page without both links"
}

scenario_protocol() {
    start_service
    open_form "$WORK/jar"
    local first_cookie
    first_cookie=$(grep -i '^Set-Cookie:' <<<"$PAGE_HEAD" | head -n 1 | tr -d '\r')
    [[ $first_cookie =~ ^Set-Cookie:\ PHPSESSID=[0-9a-f]+\;\ path=/$ ]] ||
        fail "first Set-Cookie line: '$first_cookie'"
    expect_eq "form action" "${BASE}upload.php?upload_id=$F_UPLOADSESSION" "$ACTION"
    for value in "$F_SESSIONID" "$F_UPLOADSESSION" "$F_ACCESSKEY"; do
        [[ $value =~ ^[0-9a-f]{32}$ ]] || fail "hidden value '$value'"
    done
    expect_eq "maxfilesize" 104857600 "$F_MAXFILESIZE"
    [[ -n $F_SCRIPT && -n $F_RETURNURL ]] || fail "phpuploadscript or returnurl missing"

    get_links
    expect_eq "links before upload" "" "$DOWNLOAD_URL"

    make_file "$WORK/data.bin" 300
    upload "$WORK/data.bin" "/home/user/Bilder/data.bin" ""
    expect_eq "upload answer" 302 "$UP_CODE"
    local location
    location=$(grep -i '^Location:' <<<"$UP_HEAD" | cut -d' ' -f2- | tr -d '\r')
    expect_eq "Location" "$F_RETURNURL" "$location"
    expect_eq "redirect target answer" 200 "$(http_code "$location" -b "$JAR")"

    get_links
    expect_contains "download link" "$DOWNLOAD_URL" "${BASE}download/"
    expect_contains "delete link" "$DELETE_URL" "${BASE}delete/"

    local head
    head=$(curl -s -D - -o "$WORK/back.bin" "$DOWNLOAD_URL" | tr -d '\r')
    expect_eq "download bytes" "$(sha "$WORK/data.bin")" "$(sha "$WORK/back.bin")"
    expect_contains "Content-Length" "$head" "Content-Length: 307200"
    expect_contains "Content-Disposition" "$head" "filename=\"data.bin\""
    expect_contains "Content-Type" "$head" "Content-Type: application/octet-stream"
    # A resumed download gets exactly the bytes it asks for.
    head=$(curl -s -D - -o "$WORK/part.bin" -r 1000-2999 "$DOWNLOAD_URL" | tr -d '\r')
    expect_contains "range" "$head" "Content-Range: bytes 1000-2999/307200"
    expect_eq "range bytes" "$(tail -c +1001 "$WORK/data.bin" | head -c 2000 | sha256sum)" \
        "$(sha256sum <"$WORK/part.bin")"

    # The links need the session's own keys and cookie.
    local stranger
    stranger=$(curl -s --data "UploadSession=$F_UPLOADSESSION&AccessKey=0000&uploadmode=1" \
        -b "$JAR" "${BASE}emaillinks.php")
    expect_absent "links with a wrong AccessKey" "$stranger" "downloadhref"
    stranger=$(curl -s --data "UploadSession=$F_UPLOADSESSION&AccessKey=$F_ACCESSKEY&uploadmode=1" \
        "${BASE}emaillinks.php")
    expect_absent "links without the session cookie" "$stranger" "downloadhref"

    expect_eq "delete with a wrong key" 403 "$(http_code "${DELETE_URL%key=*}key=0" -d '')"
    expect_eq "download after a wrong delete" 200 "$(http_code "$DOWNLOAD_URL")"
    # Fetching the link (a previewer, a mail scanner) only asks; the page's button posts.
    expect_contains "delete link asks" "$(curl -s "$DELETE_URL")" '<form method="post">'
    expect_eq "HEAD of the delete link" 200 "$(http_code "$DELETE_URL" -I)"
    expect_eq "download after fetching the delete link" 200 "$(http_code "$DOWNLOAD_URL")"
    expect_eq "delete" 200 "$(http_code "$DELETE_URL" -d '')"
    expect_eq "download after delete" 404 "$(http_code "$DOWNLOAD_URL")"
    expect_eq "second delete" 404 "$(http_code "$DELETE_URL" -d '')"
    get_links
    expect_eq "links after delete" "" "$DOWNLOAD_URL"

    # A password-protected file.
    walk "$WORK/data.bin" "secret.bin" "Geheim 1&2"
    expect_eq "download without password" 403 "$(http_code "$DOWNLOAD_URL")"
    expect_eq "download with a wrong password" 403 "$(http_code "$DOWNLOAD_URL?password=geheim")"
    curl -s -o "$WORK/back.bin" -G --data-urlencode "password=Geheim 1&2" "$DOWNLOAD_URL"
    expect_eq "download with the password" "$(sha "$WORK/data.bin")" "$(sha "$WORK/back.bin")"

    local config
    config=$(curl -s -D - "${BASE}toolconfig.php"; echo .)
    expect_contains "toolconfig type" "$config" "Content-Type: text/plain"
    expect_contains "toolconfig lines" "$config" $'\r\n\r\nsize=100\r\nversion=1.00.0009\r\nnews=\r\n.'
    expect_eq "imprint" 200 "$(http_code "${BASE}imprint.php")"
    stop_service
    finish
}

# The options that change what the pages say, and the script answer to an upload.
scenario_options() {
    expect_contains "version" "$("$SERVICE_BIN" --version)" "vostrand-service 1."
    start_service --upload-answer script --max-size-mb 250 --client-version 1.00.0010 \
        --news $'Wartung am Montag\nBitte neu starten'
    local config
    config=$(curl -s "${BASE}toolconfig.php"; echo .)
    expect_eq "toolconfig" $'size=250\r\nversion=1.00.0010\r\nnews=Wartung am Montag\\nBitte neu starten\r\n.' "$config"

    make_file "$WORK/data.bin" 64
    open_form "$WORK/jar"
    expect_eq "maxfilesize follows --max-size-mb" 262144000 "$F_MAXFILESIZE"
    upload "$WORK/data.bin" "data.bin" ""
    expect_eq "upload answer" 200 "$UP_CODE"
    expect_absent "no Location" "$UP_HEAD" "Location:"
    local target
    target=$(cut_between "$UP_BODY" "location.href='" "'")
    expect_eq "script target" "$F_RETURNURL" "$target"
    expect_eq "target answer" 200 "$(http_code "$target" -b "$JAR")"
    get_links
    curl -s -o "$WORK/back.bin" "$DOWNLOAD_URL"
    expect_eq "download bytes" "$(sha "$WORK/data.bin")" "$(sha "$WORK/back.bin")"
    stop_service
    finish
}

scenario_premium() {
    # Accounts from a file and the environment; the deprecated option still works but warns.
    printf '# accounts\r\nalice:s3cret\r\n\n' >"$WORK/premium.txt"
    VOSTRAND_SERVICE_PREMIUM=$'bob:pw\ncarl:x:y' start_service --premium-file "$WORK/premium.txt" \
        --premium dora:old
    expect_absent "no password in the process list" "$(tr '\0' ' ' </proc/"$SVC_PID"/cmdline)" \
        "s3cret"
    expect_contains "the deprecated option warns" "$(cat "$WORK/service.err")" "deprecated"
    local account
    for account in bob:pw carl:x:y dora:old; do
        expect_contains "login of $account" "$(curl -s -D - -o /dev/null -F act=login \
            -F "user=${account%%:*}" -F "pass=${account#*:}" -F login=Login "${BASE}login.php")" \
            "king_passhash"
    done
    local head names
    head=$(curl -s -D - -o /dev/null -e "$BASE" -F act=login -F user=alice -F pass=s3cret \
        -F login=Login "${BASE}login.php" | tr -d '\r')
    names=$(grep -i '^Set-Cookie:' <<<"$head" | sed -E 's/^Set-Cookie: ([^=]*)=.*/\1/I' | tr '\n' ' ')
    expect_eq "login cookies in order" \
        "PHPSESSID king_sess_id king_uid king_passhash king_logined king_last_click " "$names"
    local line
    while read -r line; do
        [[ $line =~ ^Set-Cookie:\ [a-zA-Z_]+=[^\;]+\;\ path=/$ ]] || fail "cookie line '$line'"
    done < <(grep -i '^Set-Cookie:' <<<"$head")

    # The Cookie header as the client builds it from the login answer.
    local sid uid hash
    sid=$(cut_between "$head" "PHPSESSID=" ";")
    uid=$(cut_between "$head" "king_uid=" ";")
    hash=$(cut_between "$head" "king_passhash=" ";")
    make_file "$WORK/data.bin" 20
    open_form "PHPSESSID=$sid; king_sess_id=x; king_uid=$uid; king_passhash=$hash; king_logined=1; king_last_click=1"
    expect_absent "start page keeps the login's session" "$PAGE_HEAD" "Set-Cookie"
    upload "$WORK/data.bin" "premium.bin" ""
    expect_eq "premium upload" 302 "$UP_CODE"
    get_links
    [[ -n $DOWNLOAD_URL ]] || fail "premium upload without links"

    # A later upload with a fresh session still carries the kept premium cookies; forged ones
    # count as anonymous.
    local name cookies row
    while IFS='|' read -r name cookies; do
        open_form "$WORK/jar.$name"
        JAR="PHPSESSID=$(awk '$6=="PHPSESSID"{print $7}' "$JAR"); $cookies"
        upload "$WORK/data.bin" "$name.bin" ""
        expect_eq "upload $name" 302 "$UP_CODE"
    done <<ROWS
later|king_sess_id=; king_uid=$uid; king_passhash=$hash; king_logined=1; king_last_click=1
forged|king_uid=$uid; king_passhash=0123
ROWS
    for row in premium.bin=alice later.bin=alice forged.bin=; do
        grep -q "name=${row%=*}"$'.*\tuser='"${row#*=}"$'\t' "$STORAGE/index.log" ||
            fail "account of ${row%=*} is not '${row#*=}'"
    done

    local wrong
    for wrong in "alice:nope" "carol:s3cret"; do
        head=$(curl -s -D - -o /dev/null -F act=login -F "user=${wrong%%:*}" -F "pass=${wrong#*:}" \
            -F login=Login "${BASE}login.php" | tr -d '\r')
        expect_contains "wrong login $wrong starts a session" \
            "$(grep -i '^Set-Cookie:' <<<"$head" | head -n 1)" "Set-Cookie: PHPSESSID="
        expect_absent "wrong login $wrong" "$head" "king_passhash"
    done
    stop_service
    finish
}

scenario_too_large() {
    start_service --max-size-mb 1
    head -c 1048576 /dev/urandom >"$WORK/exact.bin"
    head -c 1048577 /dev/urandom >"$WORK/over.bin"
    head -c 3145728 /dev/urandom >"$WORK/big.bin"

    walk "$WORK/exact.bin" "exact.bin" ""
    curl -s -o "$WORK/back.bin" "$DOWNLOAD_URL"
    expect_eq "file of exactly the maximum" "$(sha "$WORK/exact.bin")" "$(sha "$WORK/back.bin")"

    local file
    for file in over.bin big.bin; do
        open_form "$WORK/jar.$file"
        upload "$WORK/$file" "$file" ""
        expect_eq "$file refused" 413 "$UP_CODE"
        expect_absent "$file: no redirect" "$UP_HEAD" "Location:"
        expect_absent "$file: no script target" "$UP_BODY" "location.href='"
        get_links
        expect_eq "$file: no links" "" "$DOWNLOAD_URL"
    done
    expect_eq "only the accepted file is stored" 1 "$(find "$STORAGE/files" -type f | wc -l)"
    expect_eq "no partial files" 0 "$(find "$STORAGE/tmp" -type f | wc -l)"
    stop_service
    finish
}

scenario_file_names() {
    start_service
    make_file "$WORK/data.bin" 4
    local sent expected head
    while IFS='|' read -r sent expected; do
        walk "$WORK/data.bin" "$sent" ""
        head=$(curl -s -D - -o "$WORK/back.bin" "$DOWNLOAD_URL" | tr -d '\r')
        expect_contains "name of '$sent'" "$head" "filename=\"$expected\""
        expect_eq "bytes of '$sent'" "$(sha "$WORK/data.bin")" "$(sha "$WORK/back.bin")"
    done <<'ROWS'
../../etc/passwd|passwd
C:\Users\Anna\Documents\Bericht 2024.pdf|Bericht 2024.pdf
/tmp/../../..|file
Grüße.txt|Gr____e.txt
ROWS
    # Non-ASCII names travel in the RFC 6266 form.
    expect_contains "UTF-8 name" "$head" "filename*=UTF-8''Gr%C3%BC%C3%9Fe.txt"
    # Stored files are named by generated ids only, inside the storage folder.
    expect_eq "no file named passwd anywhere" "" "$(find "$WORK" -name passwd)"
    local stray
    stray=$(find "$STORAGE/files" -type f -regextype posix-extended -not -regex '.*/[0-9a-f]{16}')
    expect_eq "stored names are ids" "" "$stray"
    expect_eq "/etc/passwd untouched" 0 "$(find /etc/passwd -newer "$WORK/data.bin" | wc -l)"
    stop_service
    finish
}

scenario_restart() {
    start_service
    local port
    port=$(service_port)
    make_file "$WORK/data.bin" 500
    walk "$WORK/data.bin" "keep.bin" ""
    local download=$DOWNLOAD_URL delete=$DELETE_URL
    walk "$WORK/data.bin" "gone.bin" ""
    expect_eq "delete before restart" 200 "$(http_code "$DELETE_URL" -d '')"
    local gone=$DOWNLOAD_URL
    stop_service

    # Same storage, same port: the links stay valid.
    start_service --port "$port"
    curl -s -o "$WORK/back.bin" "$download"
    expect_eq "download after restart" "$(sha "$WORK/data.bin")" "$(sha "$WORK/back.bin")"
    expect_eq "deleted file stays deleted" 404 "$(http_code "$gone")"
    expect_eq "delete after restart" 200 "$(http_code "$delete" -d '')"
    stop_service

    # A crash in the middle of writing the index leaves a torn last line; the records written
    # after it must not be lost.
    printf 'del\tid=0123' >>"$STORAGE/index.log"
    start_service --port "$port"
    expect_eq "deleted after second restart" 404 "$(http_code "$download")"
    walk "$WORK/data.bin" "after-crash.bin" ""
    local survivor=$DOWNLOAD_URL
    stop_service
    start_service --port "$port"
    curl -s -o "$WORK/back.bin" "$survivor"
    expect_eq "upload after a torn index line survives a restart" "$(sha "$WORK/data.bin")" \
        "$(sha "$WORK/back.bin")"
    stop_service
    finish
}

# Files and folders taken away or replaced under the running service, and a full disk.
scenario_storage_faults() {
    start_service
    make_file "$WORK/data.bin" 64
    walk "$WORK/data.bin" "kept.bin" ""
    local id=${DOWNLOAD_URL#*download/}
    id=${id%%/*}
    rm "$STORAGE/files/$id" && mkfifo "$STORAGE/files/$id"
    expect_eq "a pipe in place of the file" 404 "$(http_code "$DOWNLOAD_URL" -m 10)"
    rm "$STORAGE/files/$id" && mkdir "$STORAGE/files/$id"
    expect_eq "a folder in place of the file" 404 "$(http_code "$DOWNLOAD_URL" -m 10)"
    rmdir "$STORAGE/files/$id"
    expect_eq "the file removed" 404 "$(http_code "$DOWNLOAD_URL")"
    # The whole storage folder removed: the next upload makes it again.
    rm -rf "$STORAGE"
    walk "$WORK/data.bin" "again.bin" ""
    curl -s -o "$WORK/back.bin" "$DOWNLOAD_URL"
    expect_eq "upload after the storage was removed" "$(sha "$WORK/data.bin")" "$(sha "$WORK/back.bin")"
    stop_service

    # A file-size limit of 4 KiB stands in for a full disk.
    rm -rf "$STORAGE"
    SVC_WRAP=(prlimit --fsize=4096)
    start_service
    make_file "$WORK/big.bin" 16
    open_form "$WORK/jar.big"
    upload "$WORK/big.bin" "big.bin" ""
    expect_eq "a file the disk refuses" 500 "$UP_CODE"
    expect_eq "no partial file" 0 "$(find "$STORAGE/tmp" "$STORAGE/files" -type f | wc -l)"
    head -c 100 /dev/urandom >"$WORK/small.bin"
    walk "$WORK/small.bin" "small.bin" ""
    local download=$DOWNLOAD_URL delete=$DELETE_URL
    # An index line that does not fit is taken back whole, so the delete line after it fits
    # and stays a line of its own.
    open_form "$WORK/jar.long"
    upload "$WORK/small.bin" "$(printf 'n%.0s' {1..4000})" ""
    expect_eq "an index line the disk refuses" 500 "$UP_CODE"
    expect_eq "delete after a refused index line" 200 "$(http_code "$delete" -d '')"
    stop_service
    SVC_WRAP=()
    start_service --port "$(service_port)"
    expect_eq "deleted file stays deleted after a restart" 404 "$(http_code "$download")"
    expect_eq "nothing stored" 0 "$(find "$STORAGE/files" -type f | wc -l)"
    stop_service
    finish
}

scenario_refused_uploads() {
    start_service
    make_file "$WORK/data.bin" 50
    open_form "$WORK/jar"
    local field value saved
    while IFS='|' read -r field value; do
        saved=${!field}
        printf -v "$field" '%s' "$value"
        upload "$WORK/data.bin" "x.bin" ""
        expect_eq "$field=$value refused" 403 "$UP_CODE"
        printf -v "$field" '%s' "$saved"
    done <<ROWS
F_ACCESSKEY|0000
F_SESSIONID|abc
F_RETURNURL|${BASE}elsewhere
JAR|/dev/null
ACTION|${BASE}upload.php?upload_id=ffff
ROWS
    expect_eq "url-encoded upload" 400 "$(http_code "$ACTION" -b "$JAR" --data "a=b")"
    local code
    code=$(curl -s -o /dev/null -w '%{http_code}' -b "$JAR" \
        --form-string "sessionid=$F_SESSIONID" --form-string "UploadSession=$F_UPLOADSESSION" \
        --form-string "AccessKey=$F_ACCESSKEY" --form-string "maxfilesize=$F_MAXFILESIZE" \
        --form-string "phpuploadscript=$F_SCRIPT" --form-string "returnurl=$F_RETURNURL" "$ACTION")
    expect_eq "no file part" 400 "$code"
    local text
    text=$(head -c 40000 /dev/zero | tr '\0' t)
    upload "$WORK/data.bin" "x.bin" "" --form-string "extra1=$text" --form-string "extra2=$text"
    expect_eq "text fields above 64 KiB together" 400 "$UP_CODE"
    expect_eq "nothing stored" 0 "$(find "$STORAGE/files" "$STORAGE/tmp" -type f | wc -l)"

    # The client goes away in the middle of the file: no index entry, no stray file.
    make_file "$WORK/big.bin" 4096
    upload "$WORK/big.bin" "broken.bin" "" --limit-rate 512K --max-time 1
    local settled=""
    for _ in $(seq 1 50); do
        if [[ $(find "$STORAGE/tmp" "$STORAGE/files" -type f | wc -l) == 0 ]]; then
            settled=yes
            break
        fi
        sleep 0.1
    done
    expect_eq "broken upload leaves no file" yes "$settled"
    expect_eq "broken upload leaves no index entry" 0 "$(grep -c broken "$STORAGE/index.log")"

    upload "$WORK/data.bin" "fine.bin" ""
    expect_eq "the same form works after refusals" 302 "$UP_CODE"
    stop_service
    finish
}

# Requests no browser sends: they get an error answer, cost bounded memory and descriptors, and
# the service goes on serving.
scenario_hostile() {
    start_service
    local host port
    port=$(service_port)
    host=${BASE#http://}
    host=${host%:*}
    python3 - "$host" "$port" "$SVC_PID" "$BASE" <<'EOF' || fail "raw connections (see above)"
import os, socket, subprocess, sys, time
host, port, pid, base = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
failures = []
def check(what, ok, detail=""):
    if not ok:
        failures.append(f"FAIL: {what} {detail}")
def answer(first, piece=b"", count=0):  # the status line the service answers with
    with socket.create_connection((host, port)) as s:
        try:
            s.sendall(first + piece * count)
        except OSError:
            pass  # the service stopped reading: its answer is waiting
        s.settimeout(10)
        try:
            return s.recv(100).split(b"\r\n")[0].decode()
        except OSError as e:
            return repr(e)
def curl():
    return subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "-m", "5", base],
                          capture_output=True, text=True).stdout

line = answer(b"NONSENSE\r\n\r\n")
check("garbage request line", line.startswith("HTTP/1.1 4"), line)
for what, first, piece in [("endless request line", b"GET /", b"a" * 65536),
                           ("endless header lines", b"GET / HTTP/1.1\r\n", b"X-A: " + b"b" * 4000 + b"\r\n")]:
    line = answer(first, piece, 32)
    check(what, line.startswith("HTTP/1.1 431"), line)

# Connections that send half a head and wait hold no more than a worker each, and the service
# keeps a bounded number of them open.
idle = [socket.create_connection((host, port)) for _ in range(20)]
for s in idle:
    s.sendall(b"GET / HTTP/1.1\r\n")
time.sleep(0.3)
check("a request beside 20 idle connections", curl() == "200")
idle += [socket.create_connection((host, port)) for _ in range(200)]
time.sleep(0.5)
count = len(os.listdir(f"/proc/{pid}/fd"))
check("descriptors with 220 idle connections", count < 150, str(count))
for s in idle:
    s.close()
time.sleep(0.3)
check("a request after the idle connections", curl() == "200")
for failure in failures:
    print(failure, file=sys.stderr)
sys.exit(1 if failures else 0)
EOF
    expect_eq "unknown page" 404 "$(http_code "${BASE}nothing.php")"
    expect_eq "unknown file" 404 "$(http_code "${BASE}download/0123456789abcdef/x")"
    expect_eq "bad file id" 404 "$(http_code "${BASE}download/..%2f..%2fetc%2fpasswd")"
    expect_eq "links without fields" 400 "$(http_code "${BASE}emaillinks.php" --data "")"
    expect_eq "large form body" 413 \
        "$(http_code "${BASE}emaillinks.php" --data-binary @<(head -c 2000000 /dev/zero))"
    expect_eq "form body without a length" 411 "$(http_code "${BASE}login.php" \
        -H 'Transfer-Encoding: chunked' -F act=login -F user=alice -F pass=x)"
    # A hostile Host header does not reach the page.
    local answer
    answer=$(curl -s -H 'Host: evil"><script>' "$BASE")
    expect_absent "Host header injection" "$answer" 'evil"'
    expect_eq "still serving" 200 "$(http_code "$BASE")"
    stop_service
    finish
}

scenario_concurrent() {
    start_service
    local i
    for i in 1 2 3 4 5 6; do
        make_file "$WORK/c$i.bin" $((i * 97))
    done
    for i in 1 2 3 4 5 6; do
        (
            FAILURES=0
            walk "$WORK/c$i.bin" "c$i.bin" ""
            curl -s -o "$WORK/c$i.back" "$DOWNLOAD_URL"
            [[ $(sha "$WORK/c$i.bin") == "$(sha "$WORK/c$i.back")" ]] || fail "bytes of c$i"
            exit "$FAILURES"
        ) &
    done
    for i in 1 2 3 4 5 6; do
        wait -n || fail "a parallel walk failed"
    done
    expect_eq "six files stored" 6 "$(find "$STORAGE/files" -type f | wc -l)"
    stop_service
    finish
}

scenario_process() {
    start_service
    local port args needle err
    port=$(service_port)
    : >"$WORK/plainfile"
    while IFS='|' read -r args needle; do
        err=$("$SERVICE_BIN" $args --quiet 2>&1 >/dev/null)
        expect_eq "$args: exit code" 1 "$?"
        expect_contains "$args: message" "$err" "$needle"
    done <<ROWS
--port $port --storage $WORK/other|$port
--port 0 --storage $STORAGE|in use
--port 0 --storage $WORK/plainfile/sub|plainfile/sub
ROWS

    # A stop during an upload ends the upload instead of waiting for it.
    make_file "$WORK/big.bin" 8192
    open_form "$WORK/jar"
    upload "$WORK/big.bin" "big.bin" "" --limit-rate 256K &
    local client=$!
    sleep 1
    stop_service
    wait "$client"
    expect_eq "no partial file after a stop" 0 "$(find "$STORAGE/tmp" -type f | wc -l)"

    # Without --quiet: one line per request on stderr, without the query (passwords, keys).
    SVC_QUIET=()
    start_service
    curl -s -o /dev/null "${BASE}toolconfig.php"
    curl -s -o /dev/null "${BASE}download/0123456789abcdef/x?password=hunter2"
    curl -s -o /dev/null "${BASE}x%0a127.0.0.1%20GET%20/forged"
    # SIGINT stops it as cleanly as SIGTERM.
    kill -INT "$SVC_PID"
    wait "$SVC_PID"
    expect_eq "exit code after SIGINT" 0 "$?"
    SVC_PID=""
    expect_eq "stdout holds only the base URL" 1 "$(wc -l <"$WORK/service.out")"
    local log
    log=$(cat "$WORK/service.err")
    expect_contains "request log" "$log" "GET /toolconfig.php 200"
    expect_absent "request log hides queries" "$log" "hunter2"
    expect_eq "one log line per request" 3 "$(wc -l <<<"$log")"
    finish
}

# Sends a prepared request on a fresh connection and prints the whole answer; the request says
# "Connection: Close", so the answer ends when the service closes the connection.
raw_exchange() { # request file
    local hostport=${BASE#http://}
    hostport=${hostport%/}
    exec 3<>"/dev/tcp/${hostport%:*}/${hostport##*:}"
    cat "$1" >&3
    timeout 20 cat <&3
    exec 3>&-
}

# The file post byte for byte as the desktop client composes it: its header set and order, its
# multipart boundary, the file's whole local path unescaped in the filename, empty premium cookies.
scenario_client_format() {
    start_service
    local hostport=${BASE#http://}
    hostport=${hostport%/}
    local agent="User-Agent: Vostrand-Uploader V1.0"
    open_form "$WORK/jar"
    local boundary cookie name value
    boundary="---------------------------$(head -c 5 /dev/urandom | od -An -tx1 | tr -d ' \n')"
    cookie="PHPSESSID=$(awk '$6=="PHPSESSID"{print $7}' "$JAR"); king_sess_id=; king_uid=; king_passhash=; king_logined=; king_last_click="
    field_part() { printf -- '--%s\r\nContent-Disposition: form-data; name="%s"\r\n\r\n%s\r\n' "$boundary" "$1" "$2"; }
    make_file data.bin 2500
    {
        while read -r name value; do
            field_part "$name" "$value"
        done <<<"sessionid $F_SESSIONID
UploadSession $F_UPLOADSESSION
AccessKey $F_ACCESSKEY
maxfilesize $F_MAXFILESIZE
phpuploadscript $F_SCRIPT
returnurl $F_RETURNURL"
        printf -- '--%s\r\nContent-Disposition: form-data; name="uploadfile_0"; filename="%s"\r\nContent-Type: image/jpeg\r\n\r\n' \
            "$boundary" '/home/anna/Bilder/"Urlaub" 2004.jpg'
        cat data.bin
        printf '\r\n'
        field_part 'file_referal[0]' 'BL-42'
        field_part 'file_descr[0]' 'Strand & Meer'
        field_part 'file_password[0]' ''
        field_part 'file_search[0]' '1'
        printf -- '--%s--\r\n' "$boundary"
    } >step2.body
    {
        printf 'POST %s HTTP/1.1\r\n' "${ACTION#http://"$hostport"}"
        printf 'Accept: */*\r\nCache-Control: no-cache\r\nContent-Length: %s\r\n' "$(stat -c %s step2.body)"
        printf 'Content-Type: multipart/form-data; boundary=%s\r\nConnection: Close\r\n' "$boundary"
        printf 'Cookie: %s\r\nHost: %s\r\nPragma: no-cache\r\n%s\r\n\r\n' "$cookie" "$hostport" "$agent"
        cat step2.body
    } >step2.req
    local answer
    answer=$(raw_exchange step2.req | tr -d '\r')
    [[ $answer == "HTTP/1.1 302 Found"* ]] || fail "step 2 status: '${answer%%$'\n'*}'"
    expect_contains "closes as asked" "$answer" "Connection: close"
    expect_eq "step 2 Location" "$F_RETURNURL" "$(grep '^Location: ' <<<"$answer" | cut -d' ' -f2-)"
    get_links
    local head
    head=$(curl -s -D - -o back.bin "$DOWNLOAD_URL" | tr -d '\r')
    expect_eq "bytes" "$(sha data.bin)" "$(sha back.bin)"
    expect_contains "type as the client declared it" "$head" "Content-Type: image/jpeg"
    expect_contains "name without the folder" "$head" "filename*=UTF-8''%22Urlaub%22%202004.jpg"
    grep -q 'descr=Strand%20%26%20Meer.*referal=BL-42.*search=1' "$STORAGE/index.log" ||
        fail "description, Bin-Layer-ID and publish flag not kept"

    # The absolute form of the target, as the client writes it for a proxy.
    printf 'GET http://%s/toolconfig.php HTTP/1.1\r\nAccept: */*\r\nConnection: Close\r\nHost: %s\r\n%s\r\n\r\n' \
        "$hostport" "$hostport" "$agent" >absolute.req
    answer=$(raw_exchange absolute.req; echo .)
    expect_contains "absolute request target" "$answer" $'\r\n\r\nsize=100\r\n'
    stop_service
    finish
}

case $SCENARIO in
protocol | options | premium | too_large | file_names | restart | storage_faults | \
    refused_uploads | hostile | concurrent | process | client_format)
    "scenario_$SCENARIO"
    ;;
*)
    echo "unknown scenario: $SCENARIO" >&2
    exit 2
    ;;
esac
