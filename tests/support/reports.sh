# shellcheck shell=sh disable=SC2034 # the variables are for the scripts that source this
# Sourced by the shell tests: what serial-send prints (printf %b form) and the
# line it sets in the words of vcom's report. tests/support/reports.h is the
# same for C++.
report_sent='Wrote 1 bytes of message\nR\n'
report_cannot_open='Unable to open port\n'
set_line='speed=115200 csize=8 parity=none cstopb=0 opost=0 icanon=0 echo=0 isig=0 clocal=1'
