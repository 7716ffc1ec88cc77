// The entry for GNOME Shell 43 and 44, which load an extension's
// extension.js through their older module format. Asked for "extension",
// that format takes this directory before the file of the same name, which is
// the entry for later Shells. The drawing is an ES module, which this format
// reaches only through import(), once the Shell's main loop runs again.
/* exported init */

const Main = imports.ui.main;

class QuorvantExtension {
    constructor(meta) {
        this._drawing = meta.dir.get_child('drawing.js').get_uri();
        this._enabled = false;
        this._service = null;
    }

    enable() {
        this._enabled = true;
        import(this._drawing).then(({EffectsService}) => {
            // Disabled, or enabled again, while the module was on its way.
            if (!this._enabled || this._service)
                return;
            this._service = new EffectsService(Main);
            this._service.enable();
        }).catch(logError);
    }

    disable() {
        this._enabled = false;
        this._service?.disable();
        this._service = null;
    }
}

function init(meta) {
    return new QuorvantExtension(meta);
}
