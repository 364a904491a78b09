"""Reads the running window as a screen reader does, over the accessibility
bus (AT-SPI), and works it through the bus's actions.

Run inside a private session bus on a private X server (accessibility_bus.sh
sets both up): starts the accessibility bus, waits until it is owned, asks the
registry for the events this check listens to, starts the program, and then
checks the controls' roles, names, states and values, the readouts' texts
and descriptions, and that turning dials and flipping switches through their
actions changes them, runs their handlers and is announced by events.

Every wait polls one condition until a deadline; nothing is tried twice.
Exit status 0 and a PASS line when every check held; 1 and the failures
otherwise.
"""

import os
import signal
import subprocess
import sys
import time

from gi.repository import Gio, GLib

PROGRAM = sys.argv[1]
LOG_DIR = sys.argv[2]
LISTENED = ("object:state-changed:checked", "object:property-change:accessible-value")

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def wait_for(condition, seconds, what):
    """Polls `condition` (pumping the main loop, so events arrive) until it
    holds or `seconds` pass; a timeout is a failure that ends the check."""
    deadline = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while True:
        while context.iteration(False):
            pass
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"waited {seconds} s for {what}")
        time.sleep(0.02)


def bus_call(connection, name, path, interface, method, args=None):
    return connection.call_sync(name, path, interface, method, args, None,
                                Gio.DBusCallFlags.NONE, 5000, None).unpack()


def start_accessibility_bus(session):
    log = open(os.path.join(LOG_DIR, "bus-launcher.log"), "w")
    launcher = subprocess.Popen(
        ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately", "--a11y=1"],
        stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
    # A program started before the bus is owned never registers with it.
    wait_for(lambda: launcher.poll() is not None or bus_call(
        session, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", GLib.Variant("(s)", ("org.a11y.Bus",)))[0],
        10, "the accessibility bus to be owned")
    if launcher.poll() is not None:
        raise RuntimeError("the accessibility bus launcher ended")
    return launcher


def wait_until_registry_knows_listeners(session):
    """The program learns at start which events somebody listens to; the
    listeners are registered with the registry before it starts."""
    address = bus_call(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress")[0]
    a11y = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
        None, None)

    def registered():
        events = bus_call(a11y, "org.a11y.atspi.Registry", "/org/a11y/atspi/registry",
                          "org.a11y.atspi.Registry", "GetRegisteredEvents")[0]
        # The registry keeps them in the bus's spelling ("Object:StateChanged:Checked").
        names = {event.replace("-", "").lower() for _, event in events}
        return all(e.replace("-", "").lower() in names for e in LISTENED)

    wait_for(registered, 10, "the registry to list this check's event listeners")
    a11y.close_sync(None)


def main():
    session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    launcher = start_accessibility_bus(session)
    program = None
    try:
        import pyatspi
        from gi.repository import Atspi

        heard = []

        def on_event(event):
            heard.append((event.type, event.source, event.detail1))

        for kind in LISTENED:
            pyatspi.Registry.registerEventListener(on_event, kind)
        wait_until_registry_knows_listeners(session)

        env = dict(os.environ, QT_QPA_PLATFORM="xcb")
        program_log = open(os.path.join(LOG_DIR, "program.log"), "w")
        program = subprocess.Popen([PROGRAM], stdin=subprocess.DEVNULL, stdout=program_log,
                                   stderr=subprocess.STDOUT, env=env)

        def application():
            if program.poll() is not None:
                raise RuntimeError(f"the program ended with status {program.returncode}")
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is not None and app.name == "Varmolen":
                    return app
            return None

        app = wait_for(application, 20, "the program on the accessibility bus")
        # Every property is read from the program itself, never from a cache.
        Atspi.Accessible.set_cache_mask(app, Atspi.Cache.NONE)

        def collect():
            found = {}
            stack = [app]
            while stack:
                node = stack.pop()
                found.setdefault(node.name, []).append(node)
                stack.extend(c for c in node if c is not None)
            return found

        # The window is built once its display is on the bus.
        objects = wait_for(lambda: (lambda f: f if "Display screen" in f else None)(collect()), 20,
                           "the panel's controls")

        def one(name):
            nodes = objects.get(name, [])
            if not check(len(nodes) == 1, f"one control named {name!r}, found {len(nodes)}"):
                return None
            return nodes[0]

        def states(node):
            return set(node.getState().getStates())

        def value(node):
            return node.queryValue().currentValue

        # Roles, names, states and values as the bus carries them.
        controls = [
            # name, role, checked or None, value or None
            ("Channel 1 Gain", "dial", None, 50.0),
            ("Channel 1 Range", "slider", None, 1.0),
            ("Channel 1 Position", "dial", None, 75.0),
            ("Channel 1 Enable", "check box", False, None),
            ("Channel 1 Mkr1", "check box", False, None),
            ("Channel 2 Mkr2", "check box", False, None),
            ("Trace XY", "check box", False, None),
            ("Trigger: ON / OFF", "check box", False, None),
            ("Trigger slope: + / -", "check box", True, None),
            ("Trigger Threshold", "dial", None, 0.0),
            ("Time base", "dial", None, 100.0),
            ("Time base Uncal.", "indicator", False, None),
            ("Time base 46.44 ms", "radio button", True, None),
            ("Display screen", None, None, None),
        ]
        nodes = {}
        for name, role, checked, val in controls:
            node = one(name)
            if node is None:
                continue
            nodes[name] = node
            if role is not None:
                check(node.getLocalizedRoleName() == role,
                      f"{name}: role {node.getLocalizedRoleName()!r}, expected {role!r}")
            if checked is not None:
                check((pyatspi.STATE_CHECKED in states(node)) == checked, f"{name}: checked should be {checked}")
            if val is not None:
                check(value(node) == val, f"{name}: value {value(node)}, expected {val}")
        check(pyatspi.STATE_FOCUSABLE in states(nodes["Display screen"]), "the display takes focus")
        threshold = nodes["Trigger Threshold"]
        check((threshold.queryValue().minimumValue, threshold.queryValue().maximumValue) == (-50.0, 50.0),
              "the threshold dial runs from -50 to 50")
        check(nodes["Channel 1 Range"].queryValue().maximumValue == 100.0, "the range bar reads up to 100")

        def actions(node):
            act = node.queryAction()
            return [act.getName(i) for i in range(act.nActions)]

        check({"Press", "Toggle"} <= set(actions(nodes["Channel 1 Enable"])), "a rocker can be pressed and toggled")
        check({"Increase", "Decrease"} <= set(actions(threshold)), "a dial can be turned")

        # The readouts: their text is what is spoken, their description says what it is.
        # Without a settings file the readouts show the start-up state in force.
        readouts = {"Display left end": "0 ms", "Marker difference": "Marker Difference = ?",
                    "Display right end": None, "Display type": "Display = TIME", "Cursor": None,
                    "Threshold": "Threshold = 0", "Input": "Input = MIC", "Marker reciprocal": "1/Mkr = ?"}
        by_description = {}
        for found in objects.values():
            for node in found:
                if node.getLocalizedRoleName() == "label" and node.description in readouts:
                    by_description.setdefault(node.description, []).append(node)
        for description, text in readouts.items():
            labels = by_description.get(description, [])
            if check(len(labels) == 1, f"one readout described {description!r}, found {len(labels)}") and text:
                check(labels[0].name == text, f"readout {description!r} reads {labels[0].name!r}, not {text!r}")
        identifiers = ("Chan1GainDial", "Chan1EnbSwitch", "Mkr1Switch", "TrigSlopeSw", "ThresholdDial",
                       "TimeBaseDial", "UncalLED", "SpectrumBox", "MarkerLabel", "StatusPanel2")
        named_by_id = [i for i in identifiers if i in objects]
        check(not named_by_id, f"no control is named by its identifier: {named_by_id}")

        def readout(description):
            return by_description[description][0].name

        def heard_from(node, kind):
            return [d for t, source, d in heard if t.startswith(kind) and source == node]

        def act(name, action):
            node = nodes[name]
            acts = actions(node)
            return node.queryAction().doAction(acts.index(action))

        # Turn dials and flip switches through the bus.
        heard.clear()
        act("Trigger Threshold", "Increase")
        wait_for(lambda: heard_from(threshold, "object:property-change:accessible-value"), 5,
                 "the threshold dial to announce its new value")
        check(value(threshold) == 1.0, f"threshold dial at {value(threshold)} after one step up")
        wait_for(lambda: readout("Threshold") == "Threshold = 2", 5, "the threshold readout to follow its dial")

        gain = nodes["Channel 1 Gain"]
        act("Channel 1 Gain", "Increase")
        wait_for(lambda: heard_from(gain, "object:property-change:accessible-value"), 5,
                 "the gain dial to announce its new value")
        check(value(gain) == 51.0, f"gain dial at {value(gain)} after one step up")

        act("Channel 1 Mkr1", "Toggle")
        act("Channel 2 Mkr2", "Press")
        for name in ("Channel 1 Mkr1", "Channel 2 Mkr2"):
            wait_for(lambda: 1 in heard_from(nodes[name], "object:state-changed:checked"), 5,
                     f"{name} to announce it is checked")
            check(pyatspi.STATE_CHECKED in states(nodes[name]), f"{name} is checked after its action")
        wait_for(lambda: readout("Marker difference") == "Marker Difference = 23.03 ms", 5,
                 "the marker difference with both markers on")
        check(readout("Marker reciprocal") == "1/Mkr = 43 Hz", f"reciprocal reads {readout('Marker reciprocal')!r}")

        slope = nodes["Trigger slope: + / -"]
        act("Trigger slope: + / -", "Toggle")
        wait_for(lambda: 0 in heard_from(slope, "object:state-changed:checked"), 5,
                 "the slope switch to announce it is unchecked")
        check(pyatspi.STATE_CHECKED not in states(slope), "the slope switch is at - after its toggle")

        # Turning the time base off its calibrated end lights the Uncal. lamp.
        lamp = nodes["Time base Uncal."]
        act("Time base", "Decrease")
        wait_for(lambda: 1 in heard_from(lamp, "object:state-changed:checked"), 5, "the Uncal. lamp to light")
        check(pyatspi.STATE_CHECKED in states(lamp), "the Uncal. lamp is lit")

        position = one("Channel 2 Position")
        if position is not None:
            position.queryValue().currentValue = 60.0
            wait_for(lambda: value(position) == 60.0, 5, "the position dial set through its value")
    except (TimeoutError, RuntimeError) as error:
        failures.append(str(error))
    finally:
        if program is not None and program.poll() is None:
            program.send_signal(signal.SIGTERM)
            try:
                if program.wait(timeout=10) != 0:
                    failures.append(f"the program ended with status {program.returncode}")
            except subprocess.TimeoutExpired:
                program.kill()
                failures.append("the program did not end within 10 s of SIGTERM")
        launcher.terminate()
        try:
            launcher.wait(timeout=10)
        except subprocess.TimeoutExpired:
            launcher.kill()

    if failures:
        for f in failures:
            print("FAIL:", f, file=sys.stderr)
        return 1
    print(f"PASS: {len(controls)} controls' roles, names, states and values, {len(readouts)} readouts, "
          "six actions and one value set through the bus, each change heard")
    return 0


if __name__ == "__main__":
    sys.exit(main())
