"""The installer as a screen reader sees it, over the accessibility bus.

Runs the built installer three times against the reference vendor service:
once installing by accessibility actions alone (agreement state, install, the
progress value as it creeps, the installed page's start button), once opening
the exit confirmation and cancelling it by its button's action, and once
choosing the install folder in the desktop's folder chooser while a client
reads every object and event. Each run fails on any warning or critical the
installer prints (GLib's, GTK's, ATK's or any library's through GLib).

    installer_a11y.py INSTALLER WORK_DIR
"""

import os
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402
import pyatspi  # noqa: E402

APP_NAME = "corvane-installer"
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def pump(seconds):
    """Lets the event listeners run while waiting."""
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < end:
        while context.iteration(False):
            pass
        time.sleep(0.02)


def wait_for(find, timeout=20.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            found = find()
        except Exception:  # an object that went away between two calls
            found = None
        if found:
            return found
        pump(0.1)
    return None


def find_app():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == APP_NAME:
            return app
    return None


def descendants(node):
    # A page switch removes objects while the walk goes on; a removed object has no children.
    try:
        children = [child for child in node if child is not None]
    except Exception:
        return
    for child in children:
        yield child
        yield from descendants(child)


def find_in(node, name, role):
    for obj in descendants(node):
        try:
            if obj.name == name and obj.getRole() == role:
                return obj
        except Exception:
            continue  # removed meanwhile
    return None


def showing(obj):
    return obj.getState().contains(pyatspi.STATE_SHOWING)


def window_with(app, name, role):
    """The top-level window holding a showing control of that name and role."""
    for window in app:
        if window is None:
            continue
        control = find_in(window, name, role)
        if control is not None and showing(control):
            return window, control
    return None


def start_installer(installer, work, tag):
    env = dict(os.environ)
    log = open(os.path.join(work, tag + ".log"), "w")
    return subprocess.Popen(
        [installer, "installPath:" + os.path.join(work, tag)],
        env=env, stdout=log, stderr=subprocess.STDOUT)


class Events:
    """Events of the installer's objects, as a screen reader receives them."""

    KINDS = ("object:value-changed", "object:children-changed",
             "object:state-changed:checked", "object:property-change:accessible-value")

    def __init__(self):
        self.seen = []
        self.listener = Atspi.EventListener.new(self.on_event)
        for kind in self.KINDS:
            self.listener.register(kind)

    def on_event(self, event):
        try:
            app = event.source.get_application()
            if app is not None and app.get_name() == APP_NAME:
                self.seen.append(event.type)
        except Exception:
            pass

    def count(self, prefix):
        return sum(1 for kind in self.seen if kind.startswith(prefix))

    def close(self):
        for kind in self.KINDS:
            self.listener.deregister(kind)


def install_by_actions(installer, work):
    events = Events()
    process = start_installer(installer, work, "install")
    try:
        app = wait_for(find_app)
        if not check(app is not None, "the installer is on the accessibility bus"):
            return
        found = wait_for(lambda: window_with(app, "立即安装", pyatspi.ROLE_PUSH_BUTTON))
        if not check(found is not None, 'main window with a "立即安装" push button'):
            return
        window, install = found
        check(window.getRole() in (pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW),
              "the main window is a frame")
        check("click" in [install.queryAction().getName(i)
                          for i in range(install.queryAction().nActions)],
              "the install button has a click action")
        extents = install.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        check(extents.width > 0 and extents.height > 0, "the install button has extents")

        agreement = find_in(window, "我已阅读并同意", pyatspi.ROLE_CHECK_BOX)
        if check(agreement is not None, "agreement check box by name and role"):
            check(agreement.getState().contains(pyatspi.STATE_CHECKED),
                  "the agreement is checked from the start")
            # Toggled off and on again, by its action; the state follows.
            agreement.queryAction().doAction(0)
            check(wait_for(lambda: not agreement.getState().contains(pyatspi.STATE_CHECKED), 5)
                  is not None, "toggling clears the checked state")
            agreement.queryAction().doAction(0)
            check(wait_for(lambda: agreement.getState().contains(pyatspi.STATE_CHECKED), 5)
                  is not None, "toggling again checks it")

        install.queryAction().doAction(0)
        progress = wait_for(lambda: find_in(window, "progress_install",
                                            pyatspi.ROLE_PROGRESS_BAR))
        if not check(progress is not None, "progress bar appears on the installing page"):
            return
        values = []
        start_app = None
        end = time.monotonic() + 60
        while time.monotonic() < end:
            try:
                values.append(progress.queryValue().currentValue)
            except Exception:
                pass  # the page left the tree
            start_app = find_in(window, "立即体验", pyatspi.ROLE_PUSH_BUTTON)
            if start_app is not None and showing(start_app):
                break
            pump(0.1)
        print("progress values read:", sorted(set(values)), flush=True)
        check(len(set(values)) >= 2, "the progress value creeps (several values read)")
        check(values == sorted(values), "the progress value never goes back")
        check(events.count("object:value-changed") + events.count(
            "object:property-change:accessible-value") > 0,
              "value changes arrive as events")
        check(events.count("object:children-changed") > 0, "page switches arrive as events")
        if not check(start_app is not None, 'installed page shows "立即体验"'):
            return
        start_app.queryAction().doAction(0)
        try:
            code = process.wait(20)
        except subprocess.TimeoutExpired:
            code = None
        check(code == 0, "the installer ends (exit 0) after starting the product")
        starts = os.path.join(work, "data", "corvane", "product-starts.log")
        check(os.path.exists(starts), "the product was started")
        check(os.path.exists(os.path.join(work, "install")), "the product was installed")
    finally:
        events.close()
        if process.poll() is None:
            process.kill()
            process.wait()


def choose_folder(installer, work):
    """The folder chooser opened and answered by actions, with a client that
    reads the state of every object an event names and of every object in the
    tree, as a screen reader's review mode does."""
    seen = []

    def on_event(event):
        try:
            seen.append(event.type)
            source = event.source
            source.getState()
            source.name
            for child in source:
                if child is not None:
                    child.getState()
        except Exception:
            pass  # gone meanwhile

    listener = Atspi.EventListener.new(on_event)
    kinds = ("object:", "window:", "focus:")
    for kind in kinds:
        listener.register(kind)

    def read_all(app):
        for window in list(app):
            if window is None:
                continue
            for obj in list(descendants(window)):
                try:
                    obj.getState()
                    obj.name
                except Exception:
                    pass

    def chooser(app):
        for window in app:
            if window is not None and window.getRole() == pyatspi.ROLE_FILE_CHOOSER:
                return window
        return None

    process = start_installer(installer, work, "chooser")
    try:
        app = wait_for(find_app)
        found = app and wait_for(lambda: window_with(app, "自定义安装", pyatspi.ROLE_PUSH_BUTTON))
        if not check(bool(found), 'main window with its "自定义安装" button'):
            return
        main, customize = found
        read_all(app)
        customize.queryAction().doAction(0)
        change = wait_for(lambda: find_in(main, "更改目录", pyatspi.ROLE_PUSH_BUTTON))
        if not check(change is not None, 'the custom bar shows "更改目录"'):
            return
        for answer in ("取消", "选择"):
            change.queryAction().doAction(0)
            dialog = wait_for(lambda: chooser(app))
            if not check(dialog is not None, "the folder chooser opens (to answer %s)" % answer):
                return
            pump(0.5)
            read_all(app)
            button = find_in(dialog, answer, pyatspi.ROLE_PUSH_BUTTON)
            if not check(button is not None, 'the chooser has a "%s" button' % answer):
                return
            button.queryAction().doAction(0)
            check(wait_for(lambda: chooser(app) is None, 10) is not None,
                  '"%s" closes the chooser' % answer)
            read_all(app)
            pump(0.5)
        check(process.poll() is None, "the installer keeps running after the chooser")
        check(len(seen) > 0, "the client received the installer's events")
    finally:
        for kind in kinds:
            listener.deregister(kind)
        if process.poll() is None:
            process.kill()
            process.wait()


def toolkit_warnings(work, tag):
    """GLib-style warning and critical lines of one installer run."""
    path = os.path.join(work, tag + ".log")
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8", errors="replace") as log:
        return [line.rstrip("\n") for line in log
                if "WARNING **" in line or "CRITICAL **" in line]


def cancel_exit_box(installer, work):
    process = start_installer(installer, work, "msgbox")
    try:
        app = wait_for(find_app)
        found = app and wait_for(lambda: window_with(app, "btn_exit", pyatspi.ROLE_PUSH_BUTTON))
        if not check(bool(found), "main window with its exit button"):
            return
        main, exit_button = found
        exit_button.queryAction().doAction(0)
        box = wait_for(lambda: window_with(app, "取消", pyatspi.ROLE_PUSH_BUTTON))
        if not check(box is not None, 'the exit confirmation shows with a "取消" button'):
            return
        box_window, cancel = box
        check(box_window != main, "the confirmation is a window of its own")
        check(find_in(box_window, "确定", pyatspi.ROLE_PUSH_BUTTON) is not None,
              'it has a "确定" push button')
        texts = [obj for obj in descendants(box_window) if obj.getRole() == pyatspi.ROLE_TEXT]
        check(any("退出" in t.queryText().getText(0, -1) for t in texts),
              "its text asks whether to quit")
        cancel.queryAction().doAction(0)
        gone = wait_for(lambda: window_with(app, "取消", pyatspi.ROLE_PUSH_BUTTON) is None, 10)
        check(gone is not None, "cancel closes the confirmation")
        pump(0.5)
        check(process.poll() is None, "the installer keeps running after cancel")
        check(window_with(app, "立即安装", pyatspi.ROLE_PUSH_BUTTON) is not None,
              "the main window is still there")
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def main():
    installer, work = sys.argv[1], sys.argv[2]
    install_by_actions(installer, work)
    cancel_exit_box(installer, work)
    choose_folder(installer, work)
    for tag in ("install", "msgbox", "chooser"):
        lines = toolkit_warnings(work, tag)
        for line in lines:
            print("     " + line, flush=True)
        check(not lines, "the %s run printed no warning nor critical" % tag)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
