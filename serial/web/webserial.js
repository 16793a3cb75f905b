// The page's half of the serial binding (UComBinding.cpp): the ports the
// user granted, by name, and each open one with a reader that pumps what
// arrives into a queue the core takes its bytes from. Only the standard Web
// Serial API is used.
var KorvaneSerial = (function () {
  'use strict';
  // What the core's calls give back besides counts; UComBinding.cpp maps them
  // to error numbers.
  var LOST = -1, BUSY = -2, MISSING = -3, FAILED = -4, DENIED = -5;
  var names = new WeakMap();
  var numbered = 0;
  var byName = new Map();
  var lines = new Map();
  var nextId = 1;

  function nameOf(port) {
    var name = names.get(port);
    if (!name) {
      numbered += 1;
      name = 'Serial port ' + numbered;
      names.set(port, name);
    }
    return name;
  }

  function wake(line) {
    var waiters = line.waiters;
    line.waiters = [];
    waiters.forEach(function (resolve) { resolve(); });
  }

  function markLost(line) {
    if (!line.closing) {
      line.lost = true;
    }
    wake(line);
  }

  // Resolves when the line changes (bytes, room, a loss) or after ms.
  function changed(line, ms) {
    return new Promise(function (resolve) {
      var timer = ms >= 0 ? setTimeout(resolve, ms) : 0;
      line.waiters.push(function () { clearTimeout(timer); resolve(); });
    });
  }

  async function pump(line) {
    try {
      for (;;) {
        var chunk = await line.reader.read();
        if (chunk.done) {
          break;
        }
        if (chunk.value && chunk.value.length) {
          line.chunks.push(chunk.value);
          line.count += chunk.value.length;
          wake(line);
        }
      }
    } catch (e) {
      // A lost device ends the stream with an error; so does our own cancel.
    }
    markLost(line);
  }

  function refusal(e) {
    var kind = e && e.name;
    if (kind === 'InvalidStateError') return BUSY;
    if (kind === 'NotFoundError') return MISSING;
    if (kind === 'SecurityError' || kind === 'NotAllowedError') return DENIED;
    return FAILED;
  }

  async function openPort(port, baudRate) {
    await port.open({baudRate: baudRate, dataBits: 8, stopBits: 1, parity: 'none',
                     flowControl: 'none'});
    var line = {port: port, baudRate: baudRate, chunks: [], head: 0, count: 0, waiters: [],
                lost: false, closing: false};
    line.reader = port.readable.getReader();
    line.writer = port.writable.getWriter();
    line.pumping = pump(line);
    return line;
  }

  async function closeLine(line) {
    line.closing = true;
    try { await line.reader.cancel(); } catch (e) { /* already gone */ }
    await line.pumping;
    try { line.reader.releaseLock(); } catch (e) { /* already released */ }
    try { line.writer.releaseLock(); } catch (e) { /* already released */ }
    try { await line.port.close(); } catch (e) { /* a lost port cannot be closed */ }
    wake(line);
  }

  if (typeof navigator !== 'undefined' && navigator.serial) {
    navigator.serial.addEventListener('disconnect', function (event) {
      lines.forEach(function (line) {
        if (line.port === event.target) {
          markLost(line);
        }
      });
    });
  }

  return {
    LOST: LOST, BUSY: BUSY, MISSING: MISSING, FAILED: FAILED, DENIED: DENIED,

    list: async function () {
      if (typeof navigator === 'undefined' || !navigator.serial) {
        return [];
      }
      var ports = await navigator.serial.getPorts();
      byName.clear();
      ports.forEach(function (port) { byName.set(nameOf(port), port); });
      return Array.from(byName.keys());
    },

    open: async function (name, baudRate) {
      var port = byName.get(name);
      if (!port) {
        return MISSING;
      }
      try {
        var line = await openPort(port, baudRate);
        var id = nextId++;
        lines.set(id, line);
        return id;
      } catch (e) {
        return refusal(e);
      }
    },

    close: async function (id) {
      var line = lines.get(id);
      if (line) {
        lines.delete(id);
        await closeLine(line);
      }
    },

    // Web Serial takes the line's settings at open: another speed reopens it.
    setSpeed: async function (id, baudRate) {
      var line = lines.get(id);
      if (!line) return LOST;
      if (line.baudRate === baudRate) return 0;
      await closeLine(line);
      try {
        lines.set(id, await openPort(line.port, baudRate));
        return 0;
      } catch (e) {
        lines.delete(id);
        return refusal(e);
      }
    },

    // Bytes waiting; LOST once the device is gone and nothing is left.
    waiting: function (id) {
      var line = lines.get(id);
      if (!line) return LOST;
      return line.count > 0 || !line.lost ? line.count : LOST;
    },

    take: function (id, address, count) {
      var line = lines.get(id);
      if (!line) return LOST;
      var taken = 0;
      while (taken < count && line.chunks.length > 0) {
        var chunk = line.chunks[0];
        var n = Math.min(count - taken, chunk.length - line.head);
        HEAPU8.set(chunk.subarray(line.head, line.head + n), address + taken);
        taken += n;
        line.head += n;
        if (line.head === chunk.length) {
          line.chunks.shift();
          line.head = 0;
        }
      }
      line.count -= taken;
      return taken > 0 || !line.lost ? taken : LOST;
    },

    discard: function (id) {
      var line = lines.get(id);
      if (!line) return LOST;
      line.chunks = [];
      line.head = 0;
      line.count = 0;
      return 0;
    },

    // 1 when bytes are waiting, 0 after ms without, LOST for a lost device.
    awaitInput: async function (id, ms) {
      var line = lines.get(id);
      if (!line) return LOST;
      if (line.count === 0 && !line.lost) {
        await changed(line, ms);
      }
      return line.count > 0 ? 1 : (line.lost ? LOST : 0);
    },

    // 0 when the byte is queued, 1 when the stream has no room for it yet.
    write: function (id, byte) {
      var line = lines.get(id);
      if (!line || line.lost) return LOST;
      if (line.writer.desiredSize !== null && line.writer.desiredSize <= 0) {
        return 1;
      }
      line.writer.write(new Uint8Array([byte])).then(function () {
        if (line.writer.desiredSize > 0) wake(line);
      }, function () { markLost(line); });
      return 0;
    },

    awaitRoom: async function (id, ms) {
      var line = lines.get(id);
      if (!line || line.lost) return LOST;
      await changed(line, ms);
      return line.lost ? LOST : 0;
    },
  };
})();
