#!/usr/bin/env bash
# gammu, a real AT modem client, must identify the virtual modem.
# Usage: gammu_identify.sh <tarvex-vmodem>
. "$(dirname "$0")/gammu_common.sh"

start_vmodem --trace
timeout 60 gammu -c "$work/gammurc" identify >"$work/gammu.out" 2>&1 || fail "gammu identify exited $?"
grep -Eq '^Manufacturer +: Tarvex$' "$work/gammu.out" || fail "manufacturer"
grep -Eq '^Model +: .*VModem' "$work/gammu.out" || fail "model"
grep -Eq '^Firmware +: 1\.0\.0' "$work/gammu.out" || fail "firmware"
grep -Eq '^IMEI +: 356938035643809$' "$work/gammu.out" || fail "IMEI"
echo "gammu identified the vmodem"
