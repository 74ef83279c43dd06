#!/usr/bin/python3
"""The real wizard on its embedded sample scheme in a fresh Xvfb display, driven from outside
as a user drives it: clicks and keys sent with xdotool, windows found by their captions,
screenshots taken with ImageMagick's import and kept in the artifact folder, the exported
workbook read back with openpyxl.

usage: wizard_session.py PROGRAM ARTIFACT_FOLDER [--measure] [--window-manager=openbox]

Exits 0 when the session went as expected, 1 when a check failed, 77 (skipped) when Xvfb,
xdotool, ImageMagick or the window manager asked for is missing. With --measure it prints the
program's peak resident memory and the time from its start to the first screen shown, as the
X server's event that maps the screen's window tells it (xev on the root window, so without a
window manager).

Every wait polls with a deadline. Without a window manager the program's windows stand where
the window system puts them and nothing gives them the keyboard focus but the program itself;
under one (--window-manager) they carry its frames. Each click is given relative to its window.
"""

import ctypes
import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

# Long enough for a sanitizer build on a busy machine; nothing waits this long when it works.
WAIT = 60.0
POLL = 0.05


# The types under which the desktop may know an .xlsx file.
XLSX_TYPES = ("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
              "application/zip")


def die_with_parent():
    """Run in the child before it starts: it is killed when the session's process dies, so a
    test runner that kills the session on its timeout leaves no display or program behind."""
    ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def wait_for(what, probe, timeout=WAIT):
    """Polls probe until it answers something true, and answers it."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(POLL)


def first_line(path):
    """The first whole line of a file, without its line end; empty while there is none."""
    try:
        with open(path) as lines:
            line = lines.readline()
    except FileNotFoundError:
        return ""
    return line[:-1] if line.endswith("\n") else ""


class MapWatch:
    """Notes when each window that is a child of the display's root window was first mapped,
    as the X server reports it to xev, so that a window is timed from its map event and not
    from the poll that finds it. xev ends with the display."""

    def __init__(self, display):
        self.first = {}
        self.lock = threading.Lock()
        self.xev = subprocess.Popen(["xev", "-display", display, "-root", "-event", "substructure"],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                    preexec_fn=die_with_parent)
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        # "MapNotify event, serial 18, synthetic NO, window 0x50d," is followed by
        # "    event 0x50d, window 0x600030, override NO", which names the mapped window.
        mapped_at = None
        for line in self.xev.stdout:
            if line.startswith("MapNotify event"):
                mapped_at = time.monotonic()
                continue
            found = re.search(r"\bwindow (0x[0-9a-f]+)", line) if mapped_at else None
            if found:
                with self.lock:
                    self.first.setdefault(int(found.group(1), 16), mapped_at)
                mapped_at = None

    def mapped(self, window):
        """When the window (an id as xdotool gives it) was first mapped."""
        def seen():
            with self.lock:
                return self.first.get(int(window))
        return wait_for("the map event of window %s" % window, seen)


class Session:
    def __init__(self, program, artifacts, window_manager=None):
        self.program = program
        self.artifacts = artifacts
        self.window_manager = window_manager
        self.wm = None
        self.wm_log = None
        self.recorders = []
        self.scratch = tempfile.mkdtemp(prefix="quorvane-session-")
        self.config = os.path.join(self.scratch, "config")
        self.runtime = os.path.join(self.scratch, "runtime")
        self.home = os.path.join(self.scratch, "home")
        self.documents = os.path.join(self.home, "Documents")
        self.data = os.path.join(self.scratch, "data")
        self.opened = os.path.join(self.scratch, "opened.txt")
        os.makedirs(self.config)
        os.makedirs(self.runtime, mode=0o700)
        os.makedirs(self.documents)
        self.install_spreadsheet_application()
        self.xvfb = None
        self.xvfb_log = None
        self.display = None
        self.proc = None
        self.status = None
        self.rusage = None
        self.shots = 0

    def install_spreadsheet_application(self):
        """The desktop's application for .xlsx files: a recorder of the files it is asked to
        open, registered as the user's default, so that the export's opener runs for real."""
        recorder = os.path.join(self.scratch, "open-xlsx")
        with open(recorder, "w") as out:
            out.write("#!/bin/sh\nprintf '%%s\\n' \"$1\" >> '%s'\n" % self.opened)
        os.chmod(recorder, 0o755)
        applications = os.path.join(self.data, "applications")
        os.makedirs(applications)
        with open(os.path.join(applications, "quorvane-test-xlsx.desktop"), "w") as out:
            out.write("[Desktop Entry]\nType=Application\nName=Spreadsheet recorder\n"
                      "Exec=%s %%f\nMimeType=%s;\n" % (recorder, ";".join(XLSX_TYPES)))
        with open(os.path.join(self.config, "mimeapps.list"), "w") as out:
            out.write("[Default Applications]\n")
            for mime in XLSX_TYPES:
                out.write("%s=quorvane-test-xlsx.desktop\n" % mime)

    # The display and the program.

    def start_display(self):
        read, write = os.pipe()
        # The server's own messages stay in the artifact folder: a display that goes away
        # says why there. Without -noreset the server resets whenever its last client leaves
        # (an xdotool or xprop question) and refuses a client that connects during the reset,
        # which on a busy machine can be the program or the window manager, still starting.
        self.xvfb_log = os.path.join(self.artifacts, "xvfb.log")
        with open(self.xvfb_log, "wb") as log:
            self.xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten",
                 "tcp", "-noreset"],
                pass_fds=(write,), preexec_fn=die_with_parent, stdout=log, stderr=log)
        os.close(write)
        number = b""
        deadline = time.monotonic() + WAIT
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        check(number.strip(), "Xvfb started no display")
        self.display = ":" + number.decode().strip()
        # The display answers before anything is started on it: a server that ended at once
        # is reported as such, not as a program that cannot connect.
        wait_for("the display %s to answer" % self.display,
                 lambda: self.display_running() and self.xprop("-root", "_NET_SUPPORTED"))
        if self.window_manager:
            self.start_window_manager()

    def display_running(self):
        check(self.xvfb.poll() is None, "Xvfb on %s ended (status %s)" %
              (self.display, self.xvfb.returncode))
        return True

    def display_report(self):
        """Whether the display and the window manager still run, and their last messages."""
        def report(name, process, path):
            state = "running" if process.poll() is None else "ended (%s)" % process.returncode
            try:
                with open(path, errors="replace") as log:
                    last = log.read().strip().splitlines()[-5:]
            except OSError:
                last = []
            return "%s %s; its last messages: %s" % (name, state, " | ".join(last) or "none")
        if not self.xvfb:
            return "no display was started"
        lines = [report("Xvfb on %s" % self.display, self.xvfb, self.xvfb_log)]
        if self.wm:
            lines.append(report(self.window_manager, self.wm, self.wm_log))
        return "\n".join(lines)

    def start_window_manager(self):
        """Starts the window manager on the display and waits until it manages it (it names
        itself on the root window)."""
        env = {**os.environ, "DISPLAY": self.display, "HOME": self.home,
               "XDG_CONFIG_HOME": self.config}
        self.wm_log = os.path.join(self.artifacts, "window-manager.log")
        with open(self.wm_log, "wb") as log:
            self.wm = subprocess.Popen([self.window_manager], env=env,
                                       preexec_fn=die_with_parent, stdout=log, stderr=log)

        def managed():
            check(self.wm.poll() is None, "the window manager ended")
            out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                 env=env, capture_output=True, text=True, timeout=WAIT).stdout
            return "window id" in out
        wait_for("the window manager", managed)

    def start_program(self):
        env = dict(os.environ)
        env.update({
            "DISPLAY": self.display,
            "QT_QPA_PLATFORM": "xcb",
            "XDG_CONFIG_HOME": self.config,
            "XDG_RUNTIME_DIR": self.runtime,
            "XDG_DATA_HOME": self.data,
            # Exported workbooks go to the documents folder under the home folder.
            "HOME": self.home,
        })
        self.started = time.monotonic()
        self.proc = subprocess.Popen([self.program], env=env, cwd=self.scratch,
                                     preexec_fn=die_with_parent)

    def reap(self):
        """Answers the exit status once the program has ended (and keeps its resource use)."""
        if self.status is None:
            pid, status, rusage = os.wait4(self.proc.pid, os.WNOHANG)
            if pid:
                self.status = os.waitstatus_to_exitcode(status)
                self.rusage = rusage
                self.proc.returncode = self.status
        return self.status

    def stop(self):
        if self.proc and self.reap() is None:
            self.proc.kill()
            os.wait4(self.proc.pid, 0)
        for recorder in self.recorders:
            recorder.kill()
            recorder.wait()
        if self.wm:
            self.wm.kill()
            self.wm.wait()
        if self.xvfb:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
        shutil.rmtree(self.scratch, ignore_errors=True)

    # The window system.

    def x(self, *args):
        # A window that goes while xdotool looks at it (a dialog just closed) ends a question
        # with an X error and half an answer: the question is asked again.
        asks = args[0] in ("search", "getwindowfocus", "getwindowgeometry")
        for _ in range(10 if asks else 1):
            result = subprocess.run(["xdotool", *args],
                                    env={**os.environ, "DISPLAY": self.display},
                                    capture_output=True, text=True, timeout=WAIT)
            if "X Error" not in result.stderr:
                break
        return result.stdout

    def visible(self, title):
        """The visible window captioned exactly title, or None."""
        check(self.reap() is None, "the program ended while waiting for '%s' (status %s)" %
              (title, self.status))
        self.display_running()
        ids = self.x("search", "--onlyvisible", "--name", "^%s$" % title).split()
        return ids[-1] if ids else None

    def focused(self):
        """The window that has the keyboard focus (none, or the root window, answers '')."""
        return self.x("getwindowfocus").strip()

    def xprop(self, *args):
        return subprocess.run(["xprop", *args], env={**os.environ, "DISPLAY": self.display},
                              capture_output=True, text=True, timeout=WAIT).stdout

    def property(self, window, name):
        return self.xprop("-id", window, name)

    def events(self, window):
        """Starts recording the window system's structure events of the window (MapNotify,
        UnmapNotify, ...) and answers a function that gives the names of those seen so far.
        Returns once the recording runs: it has seen a property of its own set on the window."""
        seen = []
        xev = subprocess.Popen(["xev", "-id", window, "-event", "structure", "-event", "property"],
                               env={**os.environ, "DISPLAY": self.display},
                               stdout=subprocess.PIPE, text=True, preexec_fn=die_with_parent)
        self.recorders.append(xev)

        def read():
            for line in xev.stdout:
                if " event, serial " in line:
                    seen.append(line.split()[0])
        threading.Thread(target=read, daemon=True).start()

        def ready():
            self.xprop("-id", window, "-f", "_QUORVANE_SESSION", "8s", "-set",
                       "_QUORVANE_SESSION", "recording")
            return "PropertyNotify" in seen
        wait_for("the recording of the window's events", ready)
        return lambda: [e for e in seen if e != "PropertyNotify"]

    def window(self, title):
        return wait_for("the window '%s'" % title, lambda: self.visible(title))

    def gone(self, title):
        wait_for("'%s' to close" % title, lambda: not self.visible(title))

    def shown(self):
        """The program's visible windows, named or not (pop-up lists and menus have no name)."""
        check(self.reap() is None, "the program ended (status %s)" % self.status)
        return set(self.x("search", "--onlyvisible", "--classname", ".").split())

    def open_popup(self, window, x, y):
        """Clicks at a point that opens a pop-up (a drop-down list, a menu) and waits until it
        is shown, so that keys go to it."""
        before = self.shown()
        self.click(window, x, y)
        wait_for("a pop-up to open", lambda: self.shown() - before)

    def pick_next(self, window, x, y):
        """Opens a drop-down list and picks the entry after the chosen one."""
        before = self.shown()
        self.open_popup(window, x, y)
        self.keys("Down", "Return")
        wait_for("the list to close", lambda: self.shown() <= before)

    def geometry(self, window):
        """The window's place on the screen and its size, frame excluded (xdotool's place of a
        window that a window manager has framed is off by the frame)."""
        out = subprocess.run(["xwininfo", "-id", window],
                             env={**os.environ, "DISPLAY": self.display},
                             capture_output=True, text=True, timeout=WAIT).stdout
        values = dict(re.findall(r"^\s*(Absolute upper-left [XY]|Width|Height):\s+(-?\d+)",
                                 out, re.MULTILINE))
        # A window that went away meanwhile has no geometry.
        return tuple(int(values.get(key, 0)) for key in
                     ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def click(self, window, x, y):
        """A click at a point of the window; a negative y counts from its bottom edge."""
        if y < 0:
            y += self.geometry(window)[3]
        self.x("mousemove", "--window", window, str(x), str(y), "click", "1")

    def keys(self, *keys):
        self.x("key", "--delay", "30", *keys)

    def type(self, text):
        self.x("type", "--delay", "15", text)

    def retype(self, window, x, y, text):
        """Clicks into an edit, selects what it holds and types over it."""
        self.click(window, x, y)
        self.keys("ctrl+a")
        self.type(text)

    def shot(self, name):
        self.shots += 1
        path = os.path.join(self.artifacts, "%02d-%s.png" % (self.shots, name))
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       check=True, timeout=WAIT)
        return path

    def dark(self, shot, window, x, y):
        """Whether the pixel at a point of the window is dark in the screenshot (a checked
        radio button's dot, for example)."""
        left, top, _, _ = self.geometry(window)
        out = subprocess.run(["convert", shot, "-format", "%%[fx:p{%d,%d}.intensity]" %
                              (left + x, top + y), "info:"],
                             capture_output=True, text=True, check=True, timeout=WAIT).stdout
        return float(out) < 0.5


# Places on the screens (relative to the window), as the form lays the sample's questions out.
NEXT, BACK, CLOSE, LOAD, SAVE = (393, -26), (317, -26), (475, -26), (232, -26), (260, -26)


def answer_load(s, w, kg):
    """The Load screen: the load typed, 50 kg a shelf, three shelves, Next."""
    s.retype(w, 60, 118, kg)
    s.click(w, 17, 188)
    s.retype(w, 60, 261, "3")
    s.click(w, *NEXT)


# The bits of the window manager hints (_MOTIF_WM_HINTS: flags, functions, decorations).
MWM_FUNC_MINIMIZE, MWM_FUNC_MAXIMIZE = 0x8, 0x10
MWM_DECOR_MINIMIZE, MWM_DECOR_MAXIMIZE = 0x20, 0x40


def motif_hints(s, window):
    values = s.property(window, "_MOTIF_WM_HINTS").partition("=")[2].split(",")
    check(len(values) >= 3, "no window manager hints on the window")
    return [int(v, 16) for v in values[:3]]


def check_dialog_frame(s, w):
    """A screen asks for a dialog's frame: a fixed size, a close box, no Minimize or Maximize.
    A window manager that offers Minimize anyway (openbox does on every window) cannot hide
    the screen with it: the screen comes back."""
    _, functions, decorations = motif_hints(s, w)
    check(not functions & (MWM_FUNC_MINIMIZE | MWM_FUNC_MAXIMIZE) and
          not decorations & (MWM_DECOR_MINIMIZE | MWM_DECOR_MAXIMIZE),
          "the screen asks for Minimize or Maximize")
    sizes = s.property(w, "WM_NORMAL_HINTS")
    smallest = re.search(r"minimum size: (\d+) by (\d+)", sizes)
    largest = re.search(r"maximum size: (\d+) by (\d+)", sizes)
    check(smallest and largest and smallest.groups() == largest.groups(),
          "the screen can be resized")
    if not s.wm:
        return
    events = s.events(w)
    click_frame_button(s, w, "Minimize")
    # Minimized, the window is unmapped; shown again, mapped.
    def minimized_and_back():
        seen = events()
        return "UnmapNotify" in seen and "MapNotify" in seen[seen.index("UnmapNotify"):]
    wait_for("the screen to be minimized and come back", minimized_and_back)
    check(s.visible("Установка"), "the screen did not come back")
    s.shot("installation-after-minimize")


# openbox's title bar: icon, caption, then Minimize, Maximize and Close at its right end; the
# middle of each button, in pixels left of the frame's right edge.
FRAME_BUTTONS = {"Minimize": 42, "Maximize": 26}


def click_frame_button(s, w, name):
    """Clicks a button of the window manager's title bar over the window, once the program
    has placed the window in its frame: when it learns the frame, it centres the window,
    frame included, between the top and the bottom of the screen."""
    def place():
        extents = s.property(w, "_NET_FRAME_EXTENTS").partition("=")[2].split(",")
        return s.geometry(w), tuple(int(v) for v in extents if v.strip())
    last = [None]

    def placed():
        now = place()
        (_, top, _, height), frame = now
        centred = len(frame) == 4 and top - frame[2] == (768 - height - frame[2] - frame[3]) // 2
        same, last[0] = centred and now == last[0], now
        if not same:
            time.sleep(0.2)
        return same
    wait_for("the window to stand in its frame", placed)
    (left, top, width, _), (_, right, title, _) = last[0]
    x, y = left + width + right - FRAME_BUTTONS[name], top - title // 2
    s.x("mousemove", str(x), str(y), "click", "1")


def check_preview_maximizes(s, w):
    """The preview is a window of its own size: it offers Maximize, which fills the screen,
    and a second click brings back the size and place it had."""
    _, functions, decorations = motif_hints(s, w)
    check(functions & MWM_FUNC_MAXIMIZE and decorations & MWM_DECOR_MAXIMIZE,
          "the preview does not offer Maximize")
    if not s.wm:
        return
    normal = s.geometry(w)
    click_frame_button(s, w, "Maximize")
    wait_for("the preview to fill the screen",
             lambda: s.geometry(w)[2] >= 1000 and s.geometry(w)[3] >= 700)
    s.shot("preview-maximized")
    click_frame_button(s, w, "Maximize")
    wait_for("the preview to come back to its size", lambda: s.geometry(w) == normal)
    s.shot("preview-restored")


def file_dialog(s, screen, button, title, typed, completes=False, leaves_screen=False,
                shot=None):
    """Opens a file dialog with a button of the screen and either cancels it (typed None) or
    types a name into its file name field, which has the focus with its text selected, and
    presses Return. With completes the dialog's completion list is waited for before Return;
    with shot the dialog is shot as it opens and before Return.
    Checks that the dialog goes with every window it opened, its completion list included,
    and, unless the dialog ends the screen, that the keyboard focus is back on the screen."""
    before = s.shown()
    s.click(screen, *button)
    dialog = s.window(title)
    wait_for("the dialog to take the keyboard", lambda: s.focused() == dialog)
    if shot:
        s.shot(shot)
    if typed is None:
        s.keys("Escape")
    else:
        s.type(typed)
        if completes:
            wait_for("the completion list", lambda: s.shown() - before - {dialog})
        if shot:
            s.shot(shot + "-completing")
        s.keys("Return")
    s.gone(title)
    if leaves_screen:
        return
    wait_for("every window of the dialog to close", lambda: s.shown() <= before)
    wait_for("the keyboard focus back on the screen", lambda: s.focused() == screen)


def run(session, measure):
    s = session
    s.start_display()
    maps = MapWatch(s.display) if measure else None
    s.start_program()

    # The splash: a 400 x 330 window in the middle of the screen, for four seconds.
    def splash():
        check(s.reap() is None, "the program ended before its splash (status %s)" % s.status)
        s.display_running()
        for w in s.x("search", "--onlyvisible", "--name", ".").split():
            if s.geometry(w)[2:] == (400, 330):
                return w
        return None
    splash_window = wait_for("the splash", splash)
    check(s.geometry(splash_window) == (312, 219, 400, 330), "the splash is off the middle")
    s.shot("splash")

    # Installation: floor (the default), a customer typed in, and the text pop-up of the
    # information whose link replaces it with a picture.
    w = s.window("Установка")
    first_screen = (maps.mapped(w) if maps else time.monotonic()) - s.started
    check(first_screen >= 4.0, "the first screen came before the splash's four seconds")
    check_dialog_frame(s, w)
    s.click(w, 110, 211)
    s.type("Acme & Co")
    about = (259, 271)  # the information's first link
    s.click(w, *about)
    popup = s.window("Displaying Resource")
    wait_for("the text pop-up", lambda: s.geometry(popup)[2] == 340)
    s.shot("installation-text-popup")
    s.click(popup, 179, 28)
    wait_for("the picture", lambda: s.geometry(popup)[2:] == (66, 98))
    s.shot("installation-picture-popup")
    s.keys("Escape")
    s.gone("Displaying Resource")
    s.shot("installation")
    # With the text pop-up open again, one click on Next hides it and goes on.
    s.click(w, *about)
    s.window("Displaying Resource")
    s.click(w, *NEXT)

    # Size: 47 units chosen with the keys alone (the focus starts on the chosen 42 units and
    # Down moves the choice), 800 wide, 1000 deep (each list opened and moved one down).
    w = s.window("Размер")
    wait_for("the screen to take the keyboard", lambda: s.focused() == w)
    s.keys("Down")
    shot = s.shot("size-47-by-keys")
    check(s.dark(shot, w, 17, 131) and not s.dark(shot, w, 17, 115),
          "Down on the chosen 42 units did not choose 47")
    for y in (204, 278):
        s.pick_next(w, 110, y)
    s.shot("size-47")
    # A cancelled Save leaves the keyboard with the screen: Return is Next.
    file_dialog(s, w, SAVE, "Save...", None)
    s.keys("Return")

    # Load, then Back: Size shows the 47 units chosen, with the focus on them; Up chooses 42.
    w = s.window("Нагрузка")
    s.click(w, *BACK)
    w = s.window("Размер")
    shot = s.shot("size-after-back")
    check(s.dark(shot, w, 17, 131) and not s.dark(shot, w, 17, 115),
          "Back did not show the 47 units chosen")
    wait_for("the screen to take the keyboard", lambda: s.focused() == w)
    s.keys("Up")
    shot = s.shot("size-42-by-keys")
    check(s.dark(shot, w, 17, 115) and not s.dark(shot, w, 17, 131),
          "Up on the chosen 47 units did not choose 42")
    s.click(w, *NEXT)

    # Load: saved as shown, then 5 kg refused with its message, then 900 kg. The dialogs open
    # in the session's folder, where the program was started and the state is saved, so the
    # names typed later need no folder.
    w = s.window("Нагрузка")
    saved = os.path.join(s.scratch, "cabinet.qvs")
    file_dialog(s, w, SAVE, "Save...", saved)
    wait_for("the saved file", lambda: os.path.exists(saved))
    answer_load(s, w, "5")
    box = s.window("Мастер")
    s.shot("load-refused")
    s.x("windowfocus", "--sync", box)  # Enter is the box's, not the screen's behind it
    s.keys("Return")
    s.gone("Мастер")
    check(s.visible("Нагрузка"), "the refused answer left the screen")
    wait_for("the keyboard focus back on the screen after the message",
             lambda: s.focused() == w)
    s.retype(w, 60, 118, "900")
    s.click(w, *NEXT)

    # Equipment: a Load of "cab", the beginning of the saved file's name, is refused (no such
    # file) and the screen stays; then Load of the state saved on the screen before: that
    # screen again.
    w = s.window("Комплектация")
    s.click(w, 17, 91)
    file_dialog(s, w, LOAD, "Open...", "cab", completes=True, shot="open-dialog")
    check(s.visible("Комплектация"), "the refused Load left the screen")
    file_dialog(s, w, LOAD, "Open...", "cabinet.qvs", completes=True, leaves_screen=True)
    w = s.window("Нагрузка")
    s.shot("load-loaded")
    # Saved again over the same file, which the dialog does not ask about.
    file_dialog(s, w, SAVE, "Save...", "cabinet.qvs", completes=True)
    answer_load(s, w, "900")

    # Equipment: perforated door, 400 V, cables from below; a Load of a state of another
    # scheme is refused, and one click on Next goes on.
    w = s.window("Комплектация")
    s.click(w, 17, 91)
    for y in (163, 237):
        s.pick_next(w, 110, y)
    s.shot("equipment")
    foreign = os.path.join(s.scratch, "another-scheme.qvs")
    with open(foreign, "wb") as out:
        out.write(b"\x01\x00\x00\x00")
    file_dialog(s, w, LOAD, "Open...", os.path.basename(foreign), completes=True)
    s.click(w, *NEXT)

    # The preview, then Export of the offer (the first entry of the menu).
    w = s.window("Просмотр")
    s.shot("preview")
    check_preview_maximizes(s, w)
    books = os.path.join(s.documents, "*.xlsx")
    before = set(glob.glob(books))
    s.open_popup(w, *NEXT)
    s.shot("export-menu")
    s.keys("Down", "Return")
    book = wait_for("the exported workbook",
                    lambda: sorted(set(glob.glob(books)) - before))[-1]
    # Named from the template and the day; opened with the desktop's application for .xlsx.
    check(re.fullmatch(r".+ %s\.xlsx" % re.escape(time.strftime("%Y-%m-%d")),
                       os.path.basename(book)), "workbook name: %s" % book)
    # The recorder creates its file before it writes the line: wait for the whole line.
    opened = wait_for("the workbook to be opened", lambda: first_line(s.opened))
    check(opened == book, "the desktop opened another file: %s" % opened)
    check_workbook(book)
    shutil.copy(book, os.path.join(s.artifacts, "offer.xlsx"))

    # Close ends the program normally, with its settings written.
    s.click(w, *CLOSE)
    wait_for("the program to end", lambda: s.reap() is not None)
    check(s.status == 0, "the program ended with status %s" % s.status)
    check(os.path.exists(os.path.join(s.config, "Talpix", "Quorvane.conf")),
          "no settings file was written")

    if measure:
        print("peak resident memory: %.1f MB" % (s.rusage.ru_maxrss / 1024.0))
        print("start to first screen: %.2f s" % first_screen)


def check_workbook(path):
    import openpyxl  # python3-openpyxl
    sheet = openpyxl.load_workbook(path).active
    rows = [tuple(row) for row in sheet.iter_rows(values_only=True)]
    check(rows[0][2] == "Коммерческое предложение для Acme & Co", "offer title: %r" % (rows[0],))
    check(rows[3] == ("№", "Код", "Наименование", "Кол-во", "Цена, грн", "Сумма, грн"),
          "table heading: %r" % (rows[3],))
    # Number, code, name, quantity, price, sum (price x quantity) by ordering index, as the
    # preview.
    products = [
        (1, "RC-42-800", "Шкаф 42U 800x1000", 1, 16400, 16400),
        (2, "DR-PF", "Дверь перфорированная", 1, 2400, 2400),
        (3, "DR-SIDE", "Панели боковые, пара", 1, 2600, 2600),
        (4, "BS-HD", "Цоколь усиленный", 1, 1900, 1900),
        (5, "CN-50", "Гайки закладные, 50 шт.", 2, 240, 480),
        (6, "CE-BOT", "Кабельный ввод нижний", 1, 180, 180),
        (7, "PDU-3PH", "Блок розеток 400 В", 1, 1850, 1850),
        (8, "PC-C13", "Шнур питания C13", 2, 95, 190),
    ]
    check(rows[4:12] == products, "product rows: %r" % (rows[4:12],))
    check(rows[12][4:] == ("Итого, грн:", 26000), "sum: %r" % (rows[12],))
    check(rows[13][4:] == ("НДС, грн:", 5200), "VAT: %r" % (rows[13],))
    check(rows[14][4:] == ("Всего с НДС, грн:", 31200), "total: %r" % (rows[14],))
    check(rows[15][2] == "Единиц: 42, вес: 83.1 кг", "summary: %r" % (rows[15],))


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    measure = "--measure" in sys.argv[1:]
    managers = [a.partition("=")[2] for a in sys.argv[1:] if a.startswith("--window-manager=")]
    window_manager = managers[-1] if managers else None
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    tools = ("Xvfb", "xdotool", "xprop", "xwininfo", "xev", "import", "convert")
    for tool in tools + tuple(managers[-1:]):
        if not shutil.which(tool):
            print("skipped: %s is not installed" % tool)
            return 77
    program, artifacts = os.path.abspath(args[0]), args[1]
    shutil.rmtree(artifacts, ignore_errors=True)
    os.makedirs(artifacts)
    session = Session(program, artifacts, window_manager)
    # A test runner that gives up sends SIGTERM: the display and the program go with us.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        run(session, measure)
        return 0
    except Failure as failure:
        try:
            session.shot("failure")
        except Exception:
            pass
        print("FAILED: %s" % failure, file=sys.stderr)
        print(session.display_report(), file=sys.stderr)
        return 1
    finally:
        session.stop()


if __name__ == "__main__":
    sys.exit(main())
