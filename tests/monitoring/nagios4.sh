#!/usr/bin/env bash
# Debian's Nagios 4 runs tarvex --status --format nagios as a service check, with
# the command definition of docs/monitoring.md, against two virtual modems: a
# ready one must show OK, with the signal in the perfdata as Nagios split it from
# the line, and one whose SIM asks for its PIN CRITICAL. Nagios takes the state
# from the exit status and the text from the line, each its own way; the check
# reads both back from its status file. A throwaway configuration in the
# temporary folder, every path in it, checks every second, nothing on the network.
# Usage: nagios4.sh <tarvex> <tarvex-vmodem>
. "$(dirname "$0")/monitoring_common.sh"
nagios=/usr/sbin/nagios4 # sbin: often not on a user's PATH
[ -x "$nagios" ] || tarvex_fail "no $nagios: install the Debian package nagios4-core" \
    "(scripts/debian-packages lists it)"

start_vmodem ready
start_vmodem pin --sim pin

etc=$work/nagios
mkdir -p "$etc/checkresults"
# Nagios started as root drops to nagios_user before it runs a check; named as the
# user running this, it stays that user, root in CI, who may open the virtual
# modems' terminals (0600, theirs) and this folder. Nagios 4.4 does not refuse root.
# interval_length=1 makes every interval below seconds, and no inter-check delay
# runs the first checks at once; status.dat is rewritten every second.
cat >"$etc/nagios.cfg" <<EOF
cfg_file=$etc/objects.cfg
log_file=$etc/nagios.log
debug_file=$etc/nagios.debug
status_file=$etc/status.dat
status_update_interval=1
object_cache_file=$etc/objects.cache
precached_object_file=$etc/objects.precache
temp_file=$etc/nagios.tmp
temp_path=$etc
lock_file=$etc/nagios.lock
command_file=$etc/nagios.cmd
query_socket=$etc/nagios.qh
check_result_path=$etc/checkresults
state_retention_file=$etc/retention.dat
retain_state_information=0
check_external_commands=0
check_for_updates=0
use_syslog=0
enable_notifications=0
nagios_user=$(id -un)
nagios_group=$(id -gn)
interval_length=1
service_inter_check_delay_method=n
host_inter_check_delay_method=n
check_result_reaper_frequency=1
service_check_timeout=30
check_workers=1
illegal_macro_output_chars=\`~\$&|'"<>
EOF

# Tarvex's --timeout (20 s) under Nagios's service_check_timeout (30 s), as
# docs/monitoring.md advises.
cat >"$etc/objects.cfg" <<EOF
define command {
    command_name    check_tarvex
    command_line    $tarvex --status \$ARG1\$ --format nagios --warning \$ARG2\$ --critical \$ARG3\$ --timeout 20 --no-log
}
define command {
    command_name    always_up
    command_line    /bin/true
}
define timeperiod {
    timeperiod_name always
    alias           always
    sunday          00:00-24:00
    monday          00:00-24:00
    tuesday         00:00-24:00
    wednesday       00:00-24:00
    thursday        00:00-24:00
    friday          00:00-24:00
    saturday        00:00-24:00
}
define contact {
    contact_name                    nobody
    host_notifications_enabled      0
    service_notifications_enabled   0
    host_notification_period        always
    service_notification_period     always
    host_notification_options       n
    service_notification_options    n
    host_notification_commands      always_up
    service_notification_commands   always_up
}
define host {
    host_name               modem-site
    address                 127.0.0.1
    check_command           always_up
    max_check_attempts      1
    check_interval          60
    retry_interval          1
    check_period            always
    notification_period     always
    notification_interval   0
    contacts                nobody
}
# What both services share, as a site's Nagios would keep it: a template.
define service {
    name                    tarvex-service
    register                0
    host_name               modem-site
    max_check_attempts      1
    check_interval          1
    retry_interval          1
    check_period            always
    notification_period     always
    notification_interval   0
    contacts                nobody
}
define service {
    use                     tarvex-service
    service_description     ready modem
    check_command           check_tarvex!$work/ready/modem!-90!-100
}
define service {
    use                     tarvex-service
    service_description     SIM asks for its PIN
    check_command           check_tarvex!$work/pin/modem!-90!-100
}
EOF

# A warning, too, is a configuration that drifted from what Nagios 4 expects.
"$nagios" -v "$etc/nagios.cfg" >"$etc/verify.out" 2>&1 ||
    fail "nagios4 -v refuses the configuration" "$etc/verify.out"
grep -qx 'Total Warnings: 0' "$etc/verify.out" ||
    fail "nagios4 -v warns about the configuration" "$etc/verify.out"

"$nagios" "$etc/nagios.cfg" >"$etc/nagios.out" 2>&1 &
engine=$!
started+=("$engine")

# "SERVICE|has_been_checked|current_state|plugin_output|performance_data" for each
# service in status.dat; a service not checked yet shows current_state=0 too.
services() {
    awk -F= '/^servicestatus \{/ { in_service = 1; delete v; next }
        in_service && /^\t}/ { in_service = 0
            print v["service_description"] "|" v["has_been_checked"] "|" v["current_state"] "|" \
                v["plugin_output"] "|" v["performance_data"]; next }
        in_service { key = $1; sub(/^\t/, "", key); value = $0; sub(/^[^=]*=/, "", value)
            v[key] = value }' "$etc/status.dat" 2>/dev/null
}
both_checked() {
    [ "$(services | awk -F'|' '$2 == 1' | wc -l)" -eq 2 ]
}
poll 60 "$engine" both_checked ||
    fail "Nagios did not check both modems ($poll_why)" "$etc/nagios.out" "$etc/nagios.log" \
        "$etc/status.dat" "$work/ready/vmodem.err" "$work/pin/vmodem.err"
services >"$etc/services"

# Nagios's states: 0 OK, 2 CRITICAL.
ready=$(grep '^ready modem|' "$etc/services")
IFS='|' read -r _ _ state output perfdata <<<"$ready"
[[ $state == 0 && $output == 'TARVEX OK - '* ]] ||
    fail "the ready modem: state $state, '$output', not OK" "$etc/services" "$etc/nagios.log" \
        "$work/ready/vmodem.err"
[ "$perfdata" = "'signal_dBm'=-73;-90:;-100:;;" ] ||
    fail "the ready modem's perfdata, as Nagios read it: '$perfdata'" "$etc/services"
pin=$(grep '^SIM asks for its PIN|' "$etc/services")
IFS='|' read -r _ _ state output _ <<<"$pin"
# CRITICAL for its own reason, not for any fault that makes a modem not ready.
[[ $state == 2 && $output == 'TARVEX CRITICAL - '*PIN* ]] ||
    fail "the modem whose SIM asks for its PIN: state $state, '$output', not CRITICAL" \
        "$etc/services" "$etc/nagios.log" "$work/pin/vmodem.err"
echo "Nagios $(sed -n 's/^Nagios Core \([0-9.]*\).*/\1/p' "$etc/verify.out"):" \
    "OK for the ready modem, CRITICAL for the one whose SIM asks for its PIN"
