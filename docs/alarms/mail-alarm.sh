#!/bin/sh
# An --on-alarm command: mails each alarm of the Tarvo console.
#   TarvoMonitor --headless --on-alarm /usr/share/doc/tarvo-monitor/examples/alarms/mail-alarm.sh
# Needs a mail(1) command (bsd-mailx or mailutils) and a working MTA. TARVO_ALARM_MAILTO names
# the receiver (default: root). The console passes the event in TARVO_* variables (UTF-8).
set -eu
to="${TARVO_ALARM_MAILTO:-root}"
subject="[tarvo] ${TARVO_EVENT}: ${TARVO_HOST_NAME:-$TARVO_HOST} ${TARVO_PROGRAM:-} ${TARVO_PBU:-}"
{
	printf 'Event:   %s\n' "$TARVO_EVENT"
	printf 'Host:    %s (%s)\n' "$TARVO_HOST" "${TARVO_HOST_NAME:-}"
	[ -n "${TARVO_PROGRAM:-}" ] && printf 'Program: %s\n' "$TARVO_PROGRAM"
	[ -n "${TARVO_PBU:-}" ] && printf 'PBU:     %s\n' "$TARVO_PBU"
	printf 'State:   %s\n' "${TARVO_STATE:-}"
	printf 'Time:    %s\n\n%s\n' "$TARVO_TIME" "$TARVO_TEXT"
} | mail -s "$subject" "$to"
