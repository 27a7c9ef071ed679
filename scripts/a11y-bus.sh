#!/bin/sh
# Runs a command where an accessibility bus (AT-SPI) is up, as on a desktop
# with a screen reader, inside a session bus of its own:
#   xvfb-run -a dbus-run-session sh scripts/a11y-bus.sh COMMAND...
# Asking the bus for its address starts it (D-Bus activation), so the command
# starts only once the bus is there. Qt's bridge then exports the windows;
# QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 turns it on without a screen reader.
set -e
dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null
exec "$@"
