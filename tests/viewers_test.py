#!/usr/bin/python3
"""GROBs in the desktop's own readers, each through its public interface,
against the pixels `veldar-convert --to png` writes:

  pixbuf   gdk-pixbuf: GdkPixbuf.Pixbuf.new_from_file and a GdkPixbufLoader
           told the MIME type, with the loader built (GDK_PIXBUF_MODULE_FILE)
  qt5      Qt 5's QImageReader (tests/qt5_reader.cpp), QT_PLUGIN_PATH at the
           Qt 5 plugin built
  tumbler  XFCE's thumbnail service over D-Bus on a private session bus
  gnome    GNOME's thumbnail factory (GnomeDesktop.DesktopThumbnailFactory)

  viewers_test.py [--installed] CONSUMER BUILD SOURCE

BUILD's programs make the files; the readers are those built in BUILD, or
with --installed those the system has (after the package is installed): its
gdk-pixbuf loaders, Qt 5 plugins, MIME database and thumbnailers. GNOME's
factory runs thumbnailers sandboxed with little more than /usr, where the
build's is not: it runs --installed only.

Exit status 0 when the consumer reads every kind and a list as it should, 1
when not, 77 (skipped) when the consumer is not installed, with one line why.
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

KINDS = ["gro", "gro2", "gro4", "g04", "g08", "g16", "g32"]
SKIP = 77


def skip(why):
    print("skipped: " + why)
    sys.exit(SKIP)


def check(ok, what):
    if not ok:
        print("FAILED: " + what)
        check.failed = True
    return ok


check.failed = False


class Files:
    """GROBs of every kind, one as text, an ASCII-encoded one and lists,
    each beside the PNGs `--to png` (and `--to png --split`) writes of it."""

    def __init__(self, build, source, work):
        self.build, self.work = build, work
        data = os.path.join(source, "tests", "data")
        for name in ["asc-16x12.gro", "asc-two-8x2.lst"]:
            shutil.copy(os.path.join(data, name), work)
        shutil.copy(os.path.join(source, "resources", "logo.gif"), work)
        shutil.copy(os.path.join(data, "codecs-orient6.png"), os.path.join(work, "small.png"))
        # 40 x 64 at most: a thumbnail of 128 enlarges it (twice), a reader does not.
        fit = ["--fit", "40x64"]
        for kind in KINDS:
            self.convert("--kind", kind, *fit, "logo.gif")
        self.convert("--kind", "g08", "--text", *fit, "-o", "text.g08", "logo.gif")
        self.convert("--kind", "g04", "--list", *fit, "-o", "two.g04.lst", "logo.gif", "small.png")
        # The 1-bit reading of a 4-frame GROB: what a file whose name says
        # nothing gives (a copy of logo.g16 named "plain").
        shutil.copy(os.path.join(work, "logo.g16"), os.path.join(work, "plain"))
        # Each file and the PNGs of its pictures, in order.
        self.cases = {}
        for name in ["logo." + k for k in KINDS] + ["text.g08", "asc-16x12.gro", "plain"]:
            self.convert("--to", "png", "-o", name + ".png", name)
            self.cases[name] = [self.path(name + ".png")]
        for name in ["two.g04.lst", "asc-two-8x2.lst"]:
            self.convert("--to", "png", "--split", "-o", name + ".png", name)
            self.cases[name] = [self.path("%s-%02d.png" % (name, i)) for i in (1, 2)]
        with open(self.path("logo.g16"), "rb") as grob, open(self.path("cut.g16"), "wb") as cut:
            cut.write(grob.read()[:-3])

    def path(self, name):
        return os.path.join(self.work, name)

    def convert(self, *args):
        env = dict(os.environ, windir=self.work)
        env.pop("DISPLAY", None)
        subprocess.run([os.path.join(self.build, "bin", "veldar-convert"), *args], cwd=self.work,
                       env=env, check=True, stdout=subprocess.DEVNULL)

    def thumbnail(self, name, size):
        """What the thumbnailer itself writes of a file at a size."""
        out = self.path("thumbnailer-%s-%d.png" % (name, size))
        subprocess.run([os.path.join(self.build, "bin", "veldar-thumbnailer"), "-s", str(size),
                        self.path(name), out], check=True)
        return out

    def mime_database(self):
        """A data folder whose MIME database knows the program's types, for XDG_DATA_DIRS."""
        packages = os.path.join(self.work, "data", "mime", "packages")
        os.makedirs(packages, exist_ok=True)
        shutil.copy(os.path.join(SOURCE, "resources", "veldar-convert-mime.xml"), packages)
        shutil.copy("/usr/share/mime/packages/freedesktop.org.xml", packages)
        subprocess.run(["update-mime-database", os.path.dirname(packages)], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return os.path.join(self.work, "data")


def pixbuf_library():
    if not INSTALLED:
        modules = os.path.join(BUILD, "pixbuf-loaders", "loaders.cache")
        if not os.path.exists(modules):
            skip("the build made no list of its loader (built with AddressSanitizer, "
                 "which python3 and tumblerd cannot load)")
        os.environ["GDK_PIXBUF_MODULE_FILE"] = modules
    try:
        import gi
        gi.require_version("GdkPixbuf", "2.0")
        from gi.repository import GdkPixbuf, GLib
    except (ImportError, ValueError) as e:
        skip("python3-gi and gir1.2-gdkpixbuf-2.0 are needed (%s)" % e)
    return GdkPixbuf, GLib


def rgb(pixbuf):
    """A pixbuf's pixels as rows of R, G, B bytes, whatever its alpha and row stride."""
    pixels, step = pixbuf.get_pixels(), pixbuf.get_n_channels()
    rows = []
    for y in range(pixbuf.get_height()):
        row = pixels[y * pixbuf.get_rowstride():]
        rows.append(b"".join(row[x * step:x * step + 3] for x in range(pixbuf.get_width())))
    return (pixbuf.get_width(), pixbuf.get_height(), rows)


def test_pixbuf(files):
    if not INSTALLED:
        os.environ["XDG_DATA_DIRS"] = files.mime_database()
        os.environ["XDG_DATA_HOME"] = os.environ["XDG_DATA_DIRS"]
    GdkPixbuf, GLib = pixbuf_library()
    png = lambda path: rgb(GdkPixbuf.Pixbuf.new_from_file(path))
    # By name: every kind told by its extension; of a list, its first GROB;
    # as a picture and as an animation (a still, as GtkImage reads a file).
    for name, pngs in files.cases.items():
        read = rgb(GdkPixbuf.Pixbuf.new_from_file(files.path(name)))
        check(read == png(pngs[0]), "new_from_file(%s): not the pixels of --to png" % name)
        still = GdkPixbuf.PixbufAnimation.new_from_file(files.path(name)).get_static_image()
        check(rgb(still) == read, "PixbufAnimation.new_from_file(%s)" % name)
    check(GdkPixbuf.Pixbuf.get_file_info(files.path("logo.g16"))[0].get_name() == "grob",
          "logo.g16 is not told a GROB")
    # Fed bytes, no name, told the file's type, as GIO tells it (Eye of
    # GNOME reads so): each kind has its own; told a generic one, 1-bit, as
    # a file named "plain" is read.
    told = [(name, content_type(files.path(name)), name) for name in files.cases]
    told += [("logo.g16", "application/x-hp-grob", "plain")]
    for name, mime, expected in told:
        loader = GdkPixbuf.PixbufLoader.new_with_mime_type(mime)
        with open(files.path(name), "rb") as f:
            loader.write(f.read())
        loader.close()
        check(rgb(loader.get_pixbuf()) == png(files.cases[expected][0]),
              "GdkPixbufLoader(%s) of %s: not the pixels of %s" % (mime, name, expected))
    # A damaged GROB is an error, not a picture.
    try:
        GdkPixbuf.Pixbuf.new_from_file(files.path("cut.g16"))
        check(False, "cut.g16 was read")
    except GLib.Error as e:
        check("cut short" in e.message, "cut.g16: " + e.message)


def test_qt5(files):
    reader = os.path.join(BUILD, "bin", "qt5_reader")
    if not os.path.exists(reader):
        skip("qt5_reader was not built (qtbase5-dev is needed)")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    if not INSTALLED:
        env["QT_PLUGIN_PATH"] = os.path.join(BUILD, "plugins-qt5")
    run = lambda *args, quiet=False: subprocess.run(
        [reader, *args], env=env, stderr=subprocess.DEVNULL if quiet else None).returncode
    for name, pngs in files.cases.items():
        check(run(files.path(name), *pngs) == 0, "QImageReader(%s)" % name)
    # From memory, the format given: the kind it names.
    check(run("--as", "g16", files.path("logo.g16"), *files.cases["logo.g16"]) == 0,
          "QImageReader of logo.g16's bytes as g16")
    check(run(files.path("cut.g16"), files.cases["logo.g16"][0], quiet=True) == 1,
          "cut.g16 was read")


def thumbnail_path(cache, path):
    uri = "file://" + path
    return os.path.join(cache, "thumbnails", "normal", hashlib.md5(uri.encode()).hexdigest() + ".png")


THUMBNAILED = ["logo." + k for k in KINDS] + ["text.g08", "two.g04.lst"]


def thumbnail_environment(files, pixbuf_loader):
    """Thumbnails into a cache of their own. Unless --installed: the
    thumbnailer's entries and the MIME database in the data folders, the
    build's programs first on the path, and gdk-pixbuf with the loader
    built, or with none of ours."""
    cache = files.path("cache-%s" % pixbuf_loader)
    shutil.rmtree(cache, ignore_errors=True)
    env = dict(os.environ, XDG_CACHE_HOME=cache)
    if INSTALLED:
        return env, cache
    data = files.mime_database()
    shutil.copytree(os.path.join(BUILD, "thumbnailers"), os.path.join(data, "thumbnailers"),
                    dirs_exist_ok=True)
    env.update(XDG_DATA_DIRS=data + ":/usr/share",
               PATH=os.path.join(BUILD, "bin") + ":" + os.environ["PATH"])
    modules = os.path.join(BUILD, "pixbuf-loaders", "loaders.cache")
    if not pixbuf_loader:
        modules = files.path("no-loaders.cache")
        open(modules, "w").close()
    env["GDK_PIXBUF_MODULE_FILE"] = modules
    return env, cache


def content_type(path):
    """The file's MIME type as a file manager has it from GIO: by name, then by its bytes."""
    from gi.repository import Gio
    info = Gio.File.new_for_path(path).query_info("standard::content-type", 0, None)
    return info.get_content_type()


def compare_thumbnails(files, cache, GdkPixbuf, consumer):
    """Whose pixels each thumbnail has: those the thumbnailer writes at 128
    ("veldar-thumbnailer"), the picture's own, unscaled ("picture"), or
    neither ("other")."""
    said = {}
    for name in THUMBNAILED:
        made = thumbnail_path(cache, files.path(name))
        if not check(os.path.exists(made), "%s: no thumbnail of %s" % (consumer, name)):
            continue
        got = rgb(GdkPixbuf.Pixbuf.new_from_file(made))
        said[name] = "other"
        for whose, png in [("veldar-thumbnailer", files.thumbnail(name, 128)),
                           ("picture", files.cases[name][0])]:
            if got == rgb(GdkPixbuf.Pixbuf.new_from_file(png)):
                said[name] = whose
    return said


def test_tumbler(files):
    tumblerd = "/usr/lib/x86_64-linux-gnu/tumbler-1/tumblerd"
    if not os.path.exists(tumblerd):
        skip("tumbler is not installed")
    if not shutil.which("dbus-run-session"):
        skip("dbus-run-session (dbus-daemon) is not installed")
    GdkPixbuf, _ = pixbuf_library()
    # Without the loader the thumbnailer's entries draw them; with it,
    # tumbler's pixbuf thumbnailer (of a higher priority) draws them, told
    # each kind by its type: the picture (of a list, its first GROB), not
    # enlarged.
    for pixbuf_loader in (True,) if INSTALLED else (False, True):
        env, cache = thumbnail_environment(files, pixbuf_loader)
        # tumblerd is started by the bus, in its environment.
        inner = subprocess.run(["dbus-run-session", "--", sys.executable, __file__,
                                "tumbler-queue", files.work], env=env)
        check(inner.returncode == 0, "tumbler's queue")
        said = compare_thumbnails(files, cache, GdkPixbuf, "tumbler")
        print("tumbler, %s pixbuf loader:" % ("with the" if pixbuf_loader else "without the"),
              said)
        for name, whose in said.items():
            check(whose == "veldar-thumbnailer" or (pixbuf_loader and whose == "picture"),
                  "tumbler's thumbnail of %s: %s" % (name, whose))


def tumbler_queue(work):
    """On the private bus: every file queued with its type, its end awaited."""
    from gi.repository import Gio, GLib
    proxy = Gio.DBusProxy.new_for_bus_sync(Gio.BusType.SESSION, 0, None,
                                           "org.freedesktop.thumbnails.Thumbnailer1",
                                           "/org/freedesktop/thumbnails/Thumbnailer1",
                                           "org.freedesktop.thumbnails.Thumbnailer1")
    loop, errors = GLib.MainLoop(), []

    def on_signal(_proxy, _sender, signal, args):
        if signal == "Error":
            errors.append(args)
        if signal == "Finished":
            loop.quit()

    proxy.connect("g-signal", on_signal)
    paths = [os.path.join(work, name) for name in THUMBNAILED]
    proxy.call_sync("Queue", GLib.Variant("(asasssu)", (
        ["file://" + path for path in paths], [content_type(path) for path in paths],
        "normal", "default", 0)), 0, 30000, None)
    GLib.timeout_add_seconds(60, loop.quit)
    loop.run()
    for error in errors:
        print("tumbler's error:", error)
    return 1 if errors else 0


def test_gnome(files):
    if not INSTALLED:
        skip("GNOME's factory runs thumbnailers sandboxed, where the build's is not: "
             "it is run --installed")
    env, cache = thumbnail_environment(files, True)
    os.environ.update(env)
    try:
        import gi
        gi.require_version("GnomeDesktop", "3.0")
        gi.require_version("GdkPixbuf", "2.0")
        from gi.repository import GdkPixbuf, GnomeDesktop
    except (ImportError, ValueError) as e:
        skip("python3-gi and gir1.2-gnomedesktop-3.0 are needed (%s)" % e)
    factory = GnomeDesktop.DesktopThumbnailFactory.new(GnomeDesktop.DesktopThumbnailSize.NORMAL)
    for name in THUMBNAILED:
        uri, mime = "file://" + files.path(name), content_type(files.path(name))
        mtime = int(os.path.getmtime(files.path(name)))
        if not check(factory.can_thumbnail(uri, mime, mtime), "GNOME: cannot thumbnail " + name):
            continue
        try:
            made = factory.generate_thumbnail(uri, mime, None)
        except Exception as e:  # GLib.Error: why the thumbnailer failed
            check(False, "GNOME: %s: %s" % (name, e))
            continue
        factory.save_thumbnail(made, uri, mtime, None)
    said = compare_thumbnails(files, cache, GdkPixbuf, "GNOME")
    print("GNOME's factory:", said)
    check(set(said.values()) == {"veldar-thumbnailer"}, "GNOME: " + str(said))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "tumbler-queue":
        sys.exit(tumbler_queue(sys.argv[2]))
    args = sys.argv[1:]
    INSTALLED = args[:1] == ["--installed"]
    args = args[1:] if INSTALLED else args
    if len(args) != 3 or args[0] not in ("pixbuf", "qt5", "tumbler", "gnome"):
        sys.exit("usage: viewers_test.py [--installed] pixbuf|qt5|tumbler|gnome BUILD SOURCE")
    BUILD, SOURCE = os.path.abspath(args[1]), os.path.abspath(args[2])
    with tempfile.TemporaryDirectory() as work:
        globals()["test_" + args[0]](Files(BUILD, SOURCE, work))
    sys.exit(1 if check.failed else 0)
