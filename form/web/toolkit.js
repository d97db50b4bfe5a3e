// The page side of the web toolkit (form/web/toolkit_web.cpp calls it): the
// form's elements, Tab and focus as on the desktop, the modal warning, the
// busy state while a key is derived, what a screen reader is told, and the
// end of the program.
var Toolkit = {
  form: null,
  controls: [],   // the elements, by control index
  tabIndex: [],   // each control's place in the tab order
  copied: [],     // each text box's text as the program last copied it
  running: false, // a handler is running, or waits for a warning to close
  busy: false,
  dialog: null,
  status: null,   // the live region a screen reader reads out
  announced: '',

  // UTF-16 code units from the program's memory, exactly as they are.
  text(address, size) {
    var units = HEAPU16.subarray(address >> 1, (address >> 1) + size), out = '';
    for (var i = 0; i < size; i += 8192)
      out += String.fromCharCode.apply(null, units.subarray(i, i + 8192));
    return out;
  },

  // A text box's text is read from the box each time the program asks, as
  // it is then, however it got there (typing, paste, autofill, a browser
  // restoring the page): nothing kept from input events stands in for it.
  // False when it is the text copied into the program's memory last time,
  // which then need not be copied again.
  takeText(control) {
    var value = this.controls[control].value;
    if (value === this.copied[control])
      return false;
    this.copied[control] = value;
    return true;
  },

  readText(control, address) {
    var value = this.copied[control];
    for (var i = 0; i < value.length; ++i)
      HEAPU16[(address >> 1) + i] = value.charCodeAt(i);
  },

  font(element, family, points, bold) {
    element.style.fontFamily = family;
    element.style.fontSize = points + 'pt';
    element.style.fontWeight = bold ? '700' : '400';
  },

  // The page's markup already draws the form (form/web/form_html.cpp): the
  // program adopts its elements, by name, and makes only what is missing.
  createForm(title, width, height, family, points, bold) {
    document.title = title;
    var form = this.form = document.getElementById('Form1');
    Early.adopted = true;
    if (!form) {
      form = this.form = document.createElement('main');
      form.id = 'Form1';
      form.style.visibility = 'hidden';  // laid out, not yet shown
      document.body.appendChild(form);
    }
    form.style.width = width + 'px';
    form.style.height = height + 'px';
    this.font(form, family, points, bold);
    // One column where the viewport is narrower than the form, or where the
    // main pointer is a finger: every box and button then a comfortable tap.
    var narrow = this.narrow = matchMedia('(max-width: ' + (width - 0.02) + 'px), (pointer: coarse)');
    var layout = function () {
      document.documentElement.classList.toggle('narrow', narrow.matches);
      Toolkit.controls.forEach(Toolkit.paint, Toolkit);
    };
    narrow.addEventListener('change', layout);
    layout();
    var status = this.status = document.createElement('div');
    status.id = 'status';
    status.setAttribute('role', 'status');
    form.appendChild(status);
    this.createDialog(family);
    this.listen();
  },

  addControl(name, kind, caption, left, top, width, height, tabIndex, family, points, bold, color, labelledBy,
             accessibleName) {
    var index = this.controls.length, element = document.getElementById(name);
    var adopted = !!element && element.parentNode == this.form;
    if (kind == 0) {
      if (!adopted) {
        element = document.createElement('div');
        element.textContent = caption;
        element.className = 'label';
      }
    } else if (kind == 1) {
      if (!adopted) {
        element = document.createElement('input');
        element.type = 'text';
        element.value = caption;  // an adopted box keeps what was typed
      }
      // The comparison is exact: nothing may change what the user types.
      element.autocomplete = 'off';
      element.setAttribute('autocorrect', 'off');
      element.setAttribute('autocapitalize', 'none');
      element.spellcheck = false;
      if (labelledBy)
        element.setAttribute('aria-labelledby', labelledBy);
      else
        element.setAttribute('aria-label', accessibleName);
      // A box the program made read-only takes no focus, not even from a click.
      element.addEventListener('mousedown', function (event) {
        if (element.readOnly)
          event.preventDefault();
      });
    } else {
      if (!adopted) {
        element = document.createElement('button');
        element.type = 'button';
        element.textContent = caption;
      }
      element.addEventListener('click', function () { Toolkit.clicked(index); });
    }
    element.id = name;
    element.style.left = left + 'px';
    element.style.top = top + 'px';
    element.style.width = width + 'px';
    element.style.height = height + 'px';
    this.font(element, family, points, bold);
    if (color >= 0)
      element.dataset.color = color;
    if (!adopted)
      this.form.appendChild(element);
    this.paint(element);
    this.controls.push(element);
    this.tabIndex.push(kind == 0 ? -1 : tabIndex);
    this.copied.push(null);
  },

  // A control's own colour: as the window has it, or in the column layout,
  // which draws no window, darkened as little as it takes to read at 4.5:1
  // on the form's background.
  paint(element) {
    if (!element.dataset.color)
      return;
    var color = +element.dataset.color, rgb = [color >> 16, (color >> 8) & 255, color & 255];
    var luminance = function (c) {
      return c.reduce(function (sum, v, i) {
        v /= 255;
        return sum + [0.2126, 0.7152, 0.0722][i] * (v <= 0.04045 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4));
      }, 0);
    };
    var shade = rgb;
    if (this.narrow.matches) {
      var background = luminance(getComputedStyle(this.form).backgroundColor.match(/\d+/g).slice(0, 3));
      for (var f = 1; f > 0 && (background + 0.05) / (luminance(shade) + 0.05) < 4.5; f -= 0.02)
        shade = rgb.map(function (v) { return Math.floor(v * f); });
    }
    element.style.color = 'rgb(' + shade.join(', ') + ')';
  },

  canFocus(element) {
    return element.isConnected && !element.hidden && this.enabled(element) && element.tagName != 'DIV';
  },

  // A disabled text box is read-only: its text drawn readable, and still
  // read out by a screen reader.
  enabled(element) {
    return !(element.tagName == 'INPUT' ? element.readOnly : element.disabled);
  },

  // The control after (step 1) or before (step -1) the given one in tab
  // order that can take the focus, round the end; null if there is none.
  next(from, step) {
    var order = this.controls.map(function (e, i) { return i; })
      .filter(function (i) { return Toolkit.tabIndex[i] >= 0; })
      .sort(function (a, b) { return Toolkit.tabIndex[a] - Toolkit.tabIndex[b]; });
    var at = order.indexOf(this.controls.indexOf(from)), n = order.length;
    if (at < 0)
      at = step > 0 ? -1 : 0;  // from outside the form: the first or the last
    for (var k = 1; k <= n; ++k) {
      var element = this.controls[order[((at + step * k) % n + n) % n]];
      if (this.canFocus(element))
        return element;
    }
    return null;
  },

  setVisible(control, visible) {
    this.keepFocusOn(this.controls[control], element => { element.hidden = !visible; });
  },

  setEnabled(control, enabled) {
    this.keepFocusOn(this.controls[control], element => {
      if (element.tagName == 'INPUT') {
        element.readOnly = !enabled;
        element.tabIndex = enabled ? 0 : -1;
      } else {
        element.disabled = !enabled;
      }
    });
  },

  // Changes the element; if that takes the focus from it (hidden or
  // disabled), the focus moves on in tab order.
  keepFocusOn(element, change) {
    var hadFocus = document.activeElement == element;
    change(element);
    if (hadFocus && !this.canFocus(element)) {
      var next = this.next(element, 1);
      if (next)
        next.focus();
    }
  },

  show() {
    this.form.style.visibility = '';
    // Where the form was drawn before the program, the focus stays where the
    // user has put it meanwhile.
    if (!(this.controls.indexOf(document.activeElement) >= 0 && this.canFocus(document.activeElement))) {
      var first = this.next(null, 1);
      if (first)
        first.focus();
    }
    // A click made before the program had started is answered now, once,
    // after the start has ended.
    var early = Early.pending;
    if (early) {
      setTimeout(function () {
        Early.pending = null;
        early.classList.remove('working');
        document.documentElement.classList.remove('busy');
        var index = Toolkit.controls.indexOf(early);
        if (index >= 0 && !early.hidden && !Toolkit.ended)
          Toolkit.clicked(index);
      });
    }
    // Once the form is drawn and the page idle, a sealed roster's key
    // derivation is made ready (its memory taken and touched, its code
    // warm), so that the first 确  定 takes no longer than later ones. A
    // click first does it itself.
    requestAnimationFrame(function () {
      (window.requestIdleCallback || setTimeout)(function () {
        if (!Toolkit.running && !Toolkit.ended)
          Module.ccall('tk_prepare', null, [], []);
        Toolkit.prepared = true;
      });
    });
  },

  // Runs the button's handler, one at a time: while one runs (a warning
  // open, a key being derived) no other starts.
  clicked(index) {
    if (this.running)
      return;
    this.running = true;
    this.clickedButton = this.controls[index];
    var done = function () {
      Toolkit.running = false;
      Toolkit.announce();
    };
    try {
      Module.ccall('tk_clicked', null, ['number'], [index], { async: true }).then(done, done);
    } catch (e) {
      done();
      if (!this.ended)
        throw e;
    }
  },

  // What the read-only boxes show, each after its label, told to a screen
  // reader when it changes (a result appears, or goes): they take no focus.
  announce() {
    var text = this.controls.filter(function (e) {
      return e.tagName == 'INPUT' && e.readOnly && !e.hidden && e.value;
    }).map(function (e) {
      var label = document.getElementById(e.getAttribute('aria-labelledby'));
      return (label ? label.textContent : e.getAttribute('aria-label')) + e.value;
    }).join('；');
    if (text != this.announced)
      this.status.textContent = this.announced = text;
  },

  listen() {
    // Tab moves through the controls in tab order, round the end, as in the
    // desktop window; Enter and Esc start nothing, Space clicks a button.
    // In the warning Tab stays on its button.
    document.addEventListener('keydown', function (event) {
      if (Toolkit.busy) {
        event.preventDefault();
        event.stopPropagation();
        return;
      }
      if (event.altKey || event.ctrlKey || event.metaKey)
        return;
      if (Toolkit.dialog.open) {
        if (event.key == 'Tab') {
          event.preventDefault();
          Toolkit.dialog.querySelector('button').focus();
        }
        return;
      }
      if (event.key == 'Tab') {
        event.preventDefault();
        var next = Toolkit.next(document.activeElement, event.shiftKey ? -1 : 1);
        if (next)
          next.focus();
      } else if (event.key == 'Enter' && event.target.tagName == 'BUTTON') {
        event.preventDefault();
      }
    }, true);
    // While a key is derived the page takes no input: it is the desktop's
    // busy handler, whose events wait until it ends.
    ['beforeinput', 'paste', 'mousedown', 'click', 'touchstart'].forEach(function (type) {
      document.addEventListener(type, function (event) {
        if (Toolkit.busy) {
          event.preventDefault();
          event.stopPropagation();
        }
      }, true);
    });
  },

  createDialog(family) {
    var dialog = this.dialog = document.createElement('dialog');
    dialog.id = 'message';
    dialog.setAttribute('role', 'alertdialog');
    dialog.setAttribute('aria-labelledby', 'message-title');
    dialog.setAttribute('aria-describedby', 'message-prompt');
    dialog.style.fontFamily = family;
    var title = document.createElement('h2'), prompt = document.createElement('p'),
      ok = document.createElement('button');
    title.id = 'message-title';
    prompt.id = 'message-prompt';
    ok.id = 'message-ok';
    ok.type = 'button';
    ok.textContent = '确定';
    ok.addEventListener('click', function () { dialog.close(); });
    // The focus stays on the button: a click elsewhere in the warning does
    // not take it, and the dialog itself hands it on.
    dialog.addEventListener('mousedown', function (event) {
      if (event.target != ok)
        event.preventDefault();
    });
    dialog.addEventListener('focus', function () { ok.focus(); });
    dialog.append(title, prompt, ok);
    document.body.appendChild(dialog);
  },

  // The warning: modal, so nothing else on the page takes input until it
  // closes (its button, Enter, Space or Esc); then the focus goes back where
  // it was, or on in tab order if that control can no longer take it, as
  // on the desktop (browsers differ in where they put it).
  message(prompt, title, critical) {
    var dialog = this.dialog, before = document.activeElement;
    dialog.querySelector('h2').textContent = title;
    dialog.querySelector('p').textContent = prompt;
    dialog.classList.toggle('critical', !!critical);
    return new Promise(function (resolve) {
      dialog.addEventListener('close', function () {
        if (Toolkit.controls.indexOf(before) >= 0) {
          var target = Toolkit.canFocus(before) ? before : Toolkit.next(before, 1);
          if (target)
            target.focus();
        }
        resolve();
      }, { once: true });
      dialog.showModal();
      dialog.querySelector('button').focus();
    });
  },

  // Shows that the clicked button works (the busy cursor, the button drawn
  // working, a screen reader told to wait), and lets the page draw it
  // before the work starts.
  setBusy(busy) {
    this.busy = busy;
    document.documentElement.classList.toggle('busy', busy);
    this.form.setAttribute('aria-busy', busy ? 'true' : 'false');
    var button = this.clickedButton;
    if (button) {
      button.classList.toggle('working', busy);
      button.setAttribute('aria-busy', busy ? 'true' : 'false');
    }
    this.status.textContent = this.announced = busy ? '请稍候…' : '';
    if (!busy)
      return;
    return new Promise(function (resolve) {
      // A hidden page draws no frames: then the timer goes on alone.
      var timer = setTimeout(resolve, 100);
      requestAnimationFrame(function () { setTimeout(function () { clearTimeout(timer); resolve(); }, 0); });
    });
  },

  // The program has ended (End, a run-time error after its report, or a
  // fault): the form goes, and one line says so, with a link that starts it again.
  end(line) {
    this.ended = true;
    this.busy = false;
    if (this.dialog && this.dialog.open)
      this.dialog.close();
    Early.end(line);
  },
};

// Leaving the page hides the form, so that no picture the browser keeps of
// it shows a result; a page the browser shows again from its back-forward
// cache starts afresh, in the input state with empty boxes.
addEventListener('pagehide', function () {
  if (Toolkit.form)
    Toolkit.form.style.visibility = 'hidden';
});
addEventListener('pageshow', function (event) {
  if (event.persisted)
    location.reload();
});

Module.onExit = function () { Toolkit.end(); };
Module.onAbort = function () { Toolkit.end(); };

// The program's WebAssembly is part of the page, base64 in an inert
// element, so the page fetches nothing, not even from itself; a site's page
// names a file of its own instead, as it does for this script
// (office/write/page.h), fetched at once and run only if its SHA-256 is the
// one the page gives. It is compiled once the
// form's first frame is drawn, so that the form shows as soon as a plain
// page's would; a hidden page, which draws no frames, is not kept waiting.
Module.instantiateWasm = function (imports, receive) {
  var program = document.getElementById('program'), fetched = null;
  if (Early.unreachable()) {
    Toolkit.end(Early.unreachable());
    return {};
  }
  if (program.dataset.src) {
    fetched = fetch(program.dataset.src, { integrity: program.dataset.integrity }).then(function (response) {
      if (!response.ok)
        throw new Error(program.dataset.src + ': HTTP ' + response.status);
      return response.arrayBuffer();
    });
  }
  var started = false, start = function () {
    if (started)
      return;
    started = true;
    (fetched || Promise.resolve().then(function () {
      var text = atob(program.textContent), bytes = new Uint8Array(text.length);
      for (var i = 0; i < text.length; ++i)
        bytes[i] = text.charCodeAt(i);
      return bytes;
    })).then(function (bytes) {
      return WebAssembly.instantiate(bytes, imports);
    }).then(function (made) {
      receive(made.instance, made.module);
    }, abort);
  };
  requestAnimationFrame(function () { setTimeout(start, 0); });
  setTimeout(start, 100);
  return {};
};
