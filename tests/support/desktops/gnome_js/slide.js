// A presentation's window for the tests: gjs slide.js TITLE ID. Every pixel
// names its place: red and green are x and y modulo 256, blue holds ID (0 to
// 3) and the high bits of x and y, so a screenshot tells which window and
// which pixel of it shows anywhere, enlarged or not. Keys that reach the
// window are printed as "key NAME".

imports.gi.versions.Gtk = '3.0';
imports.gi.versions.Gdk = '3.0';
const {Gdk, GdkPixbuf, GLib, Gtk} = imports.gi;
const System = imports.system;

const [title, id] = [ARGV[0], Number(ARGV[1])];
let slide = null;

function pixels(width, height) {
    const data = new Uint8Array(width * height * 3);
    let i = 0;
    for (let y = 0; y < height; y++) {
        for (let x = 0; x < width; x++) {
            data[i++] = x & 255;
            data[i++] = y & 255;
            data[i++] = id << 6 | (x >> 8 & 3) << 4 | (y >> 8 & 3) << 2;
        }
    }
    return GdkPixbuf.Pixbuf.new_from_bytes(new GLib.Bytes(data), GdkPixbuf.Colorspace.RGB, false, 8,
        width, height, width * 3);
}

Gtk.init(null);
const window = new Gtk.Window({title, decorated: false, default_width: 400, default_height: 300});
const area = new Gtk.DrawingArea();
area.connect('draw', (widget, cr) => {
    const [width, height] = [widget.get_allocated_width(), widget.get_allocated_height()];
    if (!slide || slide.get_width() !== width || slide.get_height() !== height)
        slide = pixels(width, height);
    Gdk.cairo_set_source_pixbuf(cr, slide, 0, 0);
    cr.paint();
    cr.$dispose();
    return true;
});
window.add(area);
window.connect('key-press-event', (widget, event) => {
    print(`key ${Gdk.keyval_name(event.get_keyval()[1])}`);
    return true;
});
window.connect('destroy', () => Gtk.main_quit());
window.show_all();
print('shown');
Gtk.main();
System.exit(0);
