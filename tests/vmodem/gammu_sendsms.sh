#!/usr/bin/env bash
# gammu sends an SMS through the virtual modem in text mode. gammu prefers PDU
# mode; refusing AT+CMGF=0 (as modems without PDU support do) makes it fall
# back to text mode, the path Tarvex uses.
# Usage: gammu_sendsms.sh <tarvex-vmodem>
. "$(dirname "$0")/gammu_common.sh"

start_vmodem --trace --error-on AT+CMGF=0 --mr 41 --log "$work/sms.log"
timeout 60 gammu -c "$work/gammurc" sendsms TEXT 5550123 -text 'Hello "from" gammu' \
    >"$work/gammu.out" 2>&1 || fail "gammu sendsms exited $?"
grep -q 'message reference=41' "$work/gammu.out" || fail "message reference"
[ "$(wc -l <"$work/sms.log")" -eq 1 ] || fail "expected one log line, got: $(cat "$work/sms.log")"
grep -Eq '^\{"number":"5550123","text":"Hello \\"from\\" gammu","time":"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z","mr":41\}$' \
    "$work/sms.log" || fail "log line: $(cat "$work/sms.log")"
echo "gammu sent an SMS through the vmodem"
