#!/bin/sh
# The whole-instrument runs' sound server: the shared rig playing a 250 Hz
# square as the frame's first value (the instrument's channel 2) and a 1 kHz
# sine as its second (channel 1).
#   tone_server.sh start|stop DIR
exec "$(dirname "$0")/../audio/pulse_rig.sh" "$1" "$2" square 250 sine 1000
