// The page around the core: its controls, the 1000 ms poll, the file chooser
// and drop, the download of what was read, the message for browsers without
// Web Serial, and the one gate through which every call enters the core
// (korvane.js): one call at a time, never while another is suspended in a
// wait, and none from the user's input while an operation holds it.
var KorvanePage = (function () {
  'use strict';
  var $ = function (id) { return document.getElementById(id); };
  // The controls an operation holds, as the window holds its input.
  var HELD = ['send', 'read', 'lock', 'fastverify', 'mem2k', 'mem4k', 'choose', 'virtual'];
  var running = null;
  var waiting = false;
  var held = null;
  var cursorDepth = 0;
  var pollTimer = 0;
  var progressMin = 0;

  function call(name, types, args) {
    var result = Module.ccall(name, null, types || [], args || [], {async: true});
    running = Promise.resolve(result).finally(function () { running = null; });
    return running;
  }

  // A tick of the poll: skipped while the core is busy, as the window's
  // timer is turned away by a running operation.
  function tick() {
    if (!running) {
      call('korvane_tick');
    }
  }

  // A control's handler: dropped while input is held or another control
  // waits; after a poll in progress.
  async function control(name, types, args) {
    if (held || waiting) {
      return false;
    }
    waiting = true;
    try {
      while (running) {
        await running;
      }
      if (held) {
        return false;
      }
      await call(name, types, args);
      return true;
    } finally {
      waiting = false;
    }
  }

  async function send(file) {
    if (held || waiting || $('send').disabled) {
      return;
    }
    var bytes = new Uint8Array(await file.arrayBuffer());
    var data = Module._malloc(Math.max(bytes.length, 1));
    Module.HEAPU8.set(bytes, data);
    try {
      await control('korvane_send', ['string', 'number', 'number'], [file.name, data, bytes.length]);
    } finally {
      Module._free(data);
    }
  }

  function unsupportedText() {
    if (!window.isSecureContext) {
      return 'Korvane reaches the programmer board through Web Serial, which browsers offer ' +
        'only to secure pages: open this page from disk (file://), from localhost or over HTTPS.';
    }
    return 'Korvane reaches the programmer board through Web Serial, which this browser does ' +
      'not offer. Open this page in Chrome, Edge or Opera on Windows, macOS, Linux or ChromeOS; ' +
      'Firefox and Safari do not have Web Serial.';
  }

  function wire() {
    $('choose').addEventListener('click', function () {
      if (held) return;
      navigator.serial.requestPort().then(tick, function () { /* the user chose none */ });
    });
    $('virtual').addEventListener('click', function () {
      control('korvane_attach_virtual_board').then(tick);
    });
    $('send').addEventListener('click', function () {
      if (!held && !waiting) {
        $('file').value = '';
        $('file').click();
      }
    });
    $('file').addEventListener('change', function () {
      if ($('file').files.length) send($('file').files[0]);
    });
    $('read').addEventListener('click', function () { control('korvane_read'); });
    ['mem2k', 'mem4k'].forEach(function (id) {
      $(id).addEventListener('change', function () { control('korvane_mem_size_click'); });
    });
    document.addEventListener('dragover', function (event) {
      event.preventDefault();
      document.body.classList.add('dragging');
    });
    document.addEventListener('dragleave', function () {
      document.body.classList.remove('dragging');
    });
    document.addEventListener('drop', function (event) {
      event.preventDefault();
      document.body.classList.remove('dragging');
      var files = event.dataTransfer && event.dataTransfer.files;
      if (files && files.length) send(files[0]);
    });
    window.addEventListener('beforeunload', function (event) {
      if (held) {
        event.preventDefault();
        event.returnValue = '';
      }
    });
  }

  function start() {
    if (!window.isSecureContext || !('serial' in navigator)) {
      $('unsupported-text').textContent = unsupportedText();
      $('unsupported').hidden = false;
      return;
    }
    $('workspace').hidden = false;
    wire();
    // Ports granted before are looked at as soon as the page is up.
    call('korvane_start').then(tick);
  }

  // --- The face the core draws through (ui/web/UWebView.cpp) ---------------
  return {
    start: start,
    setChip: function (name, toolTip) {
      $('chip').textContent = name;
      $('chip').title = toolTip;
      $('chip').classList.toggle('none', name === '');
    },
    showMemSize: function (visible) { $('memsize').hidden = !visible; },
    memSizeIndex: function () { return $('mem4k').checked ? 1 : 0; },
    ticked: function (id) { return $(id).checked; },
    enable: function (id, enabled) {
      if (held && id in held) {
        held[id] = !enabled;
      } else {
        $(id).disabled = !enabled;
      }
    },
    holdInput: function (hold) {
      if (hold && !held) {
        held = {};
        HELD.forEach(function (id) {
          held[id] = $(id).disabled;
          $(id).disabled = true;
        });
      } else if (!hold && held) {
        var was = held;
        held = null;
        HELD.forEach(function (id) { $(id).disabled = was[id]; });
      }
    },
    setText: function (id, text) {
      $(id).textContent = text;
      if (id !== 'status') $(id).hidden = text === '';
    },
    progress: function (min, max, position) {
      var bar = $('progress');
      if (max >= 0) {
        progressMin = min;
        bar.max = Math.max(max - min, 1);
      }
      if (position >= 0) bar.value = position - progressMin;
    },
    showBox: function (kind, text) {
      var box = $('box');
      $('box-text').textContent = text;
      $('box-text').className = kind;
      box.setAttribute('role', kind === 'error' ? 'alertdialog' : 'dialog');
      return new Promise(function (resolve) {
        box.addEventListener('close', function () { resolve(); }, {once: true});
        box.showModal();
      });
    },
    waitCursor: function (step) {
      cursorDepth = Math.max(cursorDepth + step, 0);
      document.body.classList.toggle('wait', cursorDepth > 0);
    },
    pollTimer: function (on) {
      if (on && !pollTimer) {
        pollTimer = setInterval(tick, 1000);
      } else if (!on && pollTimer) {
        clearInterval(pollTimer);
        pollTimer = 0;
      }
    },
    offerDownload: function (name, bytes) {
      var link = document.createElement('a');
      link.href = URL.createObjectURL(new Blob([bytes], {type: 'application/octet-stream'}));
      link.download = name;
      document.body.appendChild(link);
      link.click();
      link.remove();
      setTimeout(function () { URL.revokeObjectURL(link.href); }, 60000);
    },
  };
})();

var Module = {
  onRuntimeInitialized: function () { KorvanePage.start(); },
};
