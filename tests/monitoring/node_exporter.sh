#!/usr/bin/env bash
# Debian's prometheus-node-exporter serves what tarvex --status --format prometheus
# wrote for a ready virtual modem: its textfile collector parses the file as
# Prometheus's own text format, and reports a file it cannot take as
# node_textfile_scrape_error 1 and serves none of it. Only that collector runs, on
# a loopback port the kernel picks, so the check needs no free port guessed and
# leaves the machine's own node_exporter (:9100) alone.
# Usage: node_exporter.sh <tarvex> <tarvex-vmodem>
. "$(dirname "$0")/monitoring_common.sh"
require prometheus-node-exporter prometheus-node-exporter
require curl curl

start_vmodem ready
mkdir "$work/textfile"
status=0
timeout 30 "$tarvex" --status "$work/ready/modem" --format prometheus \
    --output "$work/textfile/tarvex.prom" --no-log >"$work/tarvex.out" 2>"$work/tarvex.err" ||
    status=$?
[ "$status" -eq 0 ] ||
    fail "tarvex --status exited $status, not 0 (ready)" "$work/textfile/tarvex.prom" \
        "$work/tarvex.out" "$work/tarvex.err" "$work/ready/vmodem.err"
# The temporary file that --output renamed is gone, or every run would leave one
# more beside the collector's files.
leftovers=$(ls -A "$work/textfile")
[ "$leftovers" = tarvex.prom ] || fail "the textfile folder holds: $(xargs <<<"$leftovers")"

: >"$work/node_exporter.log" # there before the wait below reads it
prometheus-node-exporter --collector.disable-defaults --collector.textfile \
    --collector.textfile.directory="$work/textfile" --web.disable-exporter-metrics \
    --web.listen-address=127.0.0.1:0 >"$work/node_exporter.log" 2>&1 &
exporter=$!
started+=("$exporter")

# node_exporter logs the address it listens on, the port the kernel gave it: in
# 1.5 (Debian 12) as in 1.9 (Debian 13), 'msg="Listening on" address=127.0.0.1:N'.
listening() {
    address=$(sed -n 's/.*msg="Listening on" address=\(127\.0\.0\.1:[0-9]*\).*/\1/p' \
        "$work/node_exporter.log")
    [ -n "$address" ]
}
poll 10 "$exporter" listening ||
    fail "node_exporter named no address ($poll_why)" "$work/node_exporter.log"
# It logs the address before it serves; --noproxy: a proxy set for CI must not
# carry a loopback request away.
scrape() {
    curl --silent --fail --noproxy '*' --max-time 2 -o "$work/metrics" "http://$address/metrics"
}
poll 10 "$exporter" scrape ||
    fail "no answer from http://$address/metrics ($poll_why)" "$work/node_exporter.log"

# The scrape error first: with it, none of the file is served.
for series in 'node_textfile_scrape_error 0' 'tarvex_modem_ready 1' 'tarvex_signal_dbm -73'; do
    grep -qxF "$series" "$work/metrics" ||
        fail "node_exporter does not serve '$series'" "$work/metrics" \
            "$work/textfile/tarvex.prom" "$work/node_exporter.log"
done
info=$(grep '^tarvex_modem_info{' "$work/metrics" || true)
[[ $info == *'manufacturer="Tarvex"'* && $info == *'model="VModem"'* && $info == *'} 1' ]] ||
    fail "no tarvex_modem_info for the Tarvex VModem" "$work/metrics"
# No series carries the IMEI: a personal number, and a series per modem.
! grep -qF 356938035643809 "$work/metrics" || fail "the IMEI is served" "$work/metrics"
echo "node_exporter $(prometheus-node-exporter --version 2>&1 | sed -n 's/.*version \([^ ]*\).*/\1/p;q')" \
    "serves tarvex_modem_ready 1 and tarvex_signal_dbm -73, with no textfile scrape error"
