#!/bin/sh
# An --on-alarm command: posts each alarm of the Tarvo console as JSON to a webhook
# (a chat room, an incident tool). TARVO_ALARM_WEBHOOK names the URL.
#   TARVO_ALARM_WEBHOOK=https://chat.example.org/hooks/ops \
#   TarvoMonitor --headless --on-alarm /usr/share/doc/tarvo-monitor/examples/alarms/webhook-alarm.sh
# Needs curl and jq. The console passes the event in TARVO_* variables (UTF-8) and ends a
# command that runs longer than its time-out.
set -eu
: "${TARVO_ALARM_WEBHOOK:?set TARVO_ALARM_WEBHOOK to the webhook URL}"
jq -n '{event: env.TARVO_EVENT, host: env.TARVO_HOST, host_name: env.TARVO_HOST_NAME,
        program: env.TARVO_PROGRAM, pbu: env.TARVO_PBU, state: env.TARVO_STATE,
        time: env.TARVO_TIME, text: env.TARVO_TEXT}' |
	curl --silent --show-error --fail --max-time 10 \
		-H 'Content-Type: application/json' --data-binary @- "$TARVO_ALARM_WEBHOOK"
