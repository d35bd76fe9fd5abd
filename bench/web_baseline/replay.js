'use strict';
// The demo's frames as recorded from its GL layer (frames.bin, written by record_web_frames),
// drawn again with nothing but raw WebGL 1: per frame one upload of its vertices, one of its
// indices, then a draw call per recorded draw. The least any GL layer over WebGL could spend on
// these frames, which bench/web_report.py sets the demo's page against.
(async function () {
  const canvas = document.getElementById('canvas');
  // As the demo's page asks for its context: opaque, with depth, no stencil, no antialiasing.
  const gl = canvas.getContext('webgl', { alpha: false, depth: true, stencil: false, antialias: false });
  const FLOATS_PER_VERTEX = 10, BLEND = 1, DEPTH_TEST = 2, CULL = 4;

  const bytes = await (await fetch('frames.bin')).arrayBuffer();
  const view = new DataView(bytes);
  if (new TextDecoder().decode(new Uint8Array(bytes, 0, 8)) !== 'DISCOFRM' || view.getUint32(8, true) !== 1) {
    throw new Error('frames.bin: not a version 1 recording');
  }
  const textureCount = view.getUint32(12, true), frameCount = view.getUint32(16, true);
  let at = 28;
  const u32 = () => { const value = view.getUint32(at, true); at += 4; return value; };
  const padded = n => (n + 3) & ~3;

  gl.pixelStorei(gl.UNPACK_ALIGNMENT, 1);
  const textures = new Map();
  for (let i = 0; i < textureCount; ++i) {
    const name = u32(), width = u32(), height = u32(), format = u32();
    const size = width * height * (format === gl.RGBA ? 4 : 3);
    const texture = gl.createTexture();
    gl.bindTexture(gl.TEXTURE_2D, texture);
    gl.texImage2D(gl.TEXTURE_2D, 0, format, width, height, 0, format, gl.UNSIGNED_BYTE, new Uint8Array(bytes, at, size));
    for (const [key, value] of [[gl.TEXTURE_MIN_FILTER, gl.LINEAR], [gl.TEXTURE_MAG_FILTER, gl.LINEAR],
                                [gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE], [gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE]]) {
      gl.texParameteri(gl.TEXTURE_2D, key, value);
    }
    textures.set(name, texture);
    at += padded(size);
  }

  // Views into the file, so a frame costs no copying before its uploads.
  const frames = [];
  let mostVertices = 0, mostIndices = 0;
  for (let i = 0; i < frameCount; ++i) {
    const vertexCount = u32(), indexCount = u32(), drawCount = u32();
    const vertices = new Float32Array(bytes, at, vertexCount * FLOATS_PER_VERTEX);
    at += vertices.byteLength;
    const indices = new Uint16Array(bytes, at, indexCount);
    at += padded(indices.byteLength);
    const draws = new Uint32Array(bytes, at, drawCount * 4);  // firstIndex, indexCount, texture, flags
    at += draws.byteLength;
    frames.push({ vertices, indices, draws });
    mostVertices = Math.max(mostVertices, vertices.byteLength);
    mostIndices = Math.max(mostIndices, indices.byteLength);
  }

  function program(fragment) {
    const made = gl.createProgram();
    for (const [kind, source] of [[gl.VERTEX_SHADER, `
        attribute vec4 position; attribute vec4 colour; attribute vec2 texcoord;
        varying vec4 vColour; varying vec2 vTexcoord;
        void main() { gl_Position = position; vColour = colour; vTexcoord = texcoord; }`],
        [gl.FRAGMENT_SHADER, 'precision mediump float; varying vec4 vColour; varying vec2 vTexcoord; ' +
                             'uniform sampler2D t; void main() { gl_FragColor = ' + fragment + '; }']]) {
      const shader = gl.createShader(kind);
      gl.shaderSource(shader, source);
      gl.compileShader(shader);
      gl.attachShader(made, shader);
    }
    // The same attribute places in both programs: the vertex layout is set once for good.
    ['position', 'colour', 'texcoord'].forEach((name, place) => gl.bindAttribLocation(made, place, name));
    gl.linkProgram(made);
    if (!gl.getProgramParameter(made, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(made));
    return made;
  }
  const textured = program('texture2D(t, vTexcoord) * vColour'), plain = program('vColour');

  gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
  gl.bufferData(gl.ARRAY_BUFFER, mostVertices, gl.STREAM_DRAW);
  gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, gl.createBuffer());
  gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, mostIndices, gl.STREAM_DRAW);
  const stride = FLOATS_PER_VERTEX * 4;
  [[4, 0], [4, 16], [2, 32]].forEach(([size, offset], place) => {
    gl.enableVertexAttribArray(place);
    gl.vertexAttribPointer(place, size, gl.FLOAT, false, stride, offset);
  });
  gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);
  gl.depthFunc(gl.LESS);
  gl.clearColor(0, 0, 0, 0);
  gl.clearDepth(1);

  // Capabilities and texture as last set: a call only where a draw changes them.
  let flagsSet = 0, textureSet = -1;
  function setFlags(flags) {
    for (const [bit, capability] of [[BLEND, gl.BLEND], [DEPTH_TEST, gl.DEPTH_TEST], [CULL, gl.CULL_FACE]]) {
      if ((flags & bit) !== (flagsSet & bit)) (flags & bit ? gl.enable : gl.disable).call(gl, capability);
    }
    flagsSet = flags;
  }
  function setTexture(name) {
    if (name === textureSet) return;
    if (name === 0) {
      gl.useProgram(plain);
    } else {
      if (textureSet <= 0) gl.useProgram(textured);
      gl.bindTexture(gl.TEXTURE_2D, textures.get(name));
    }
    textureSet = name;
  }

  // The frame the demo shows at the same moment: the recording is its scene at 60 Hz from the start.
  let started = null;
  function draw(now) {
    if (started === null) started = now;
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
    const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
      gl.viewport(0, 0, width, height);
    }
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    const frame = frames[Math.round((now - started) * 0.06) % frames.length];
    gl.bufferSubData(gl.ARRAY_BUFFER, 0, frame.vertices);
    gl.bufferSubData(gl.ELEMENT_ARRAY_BUFFER, 0, frame.indices);
    const draws = frame.draws;
    for (let i = 0; i < draws.length; i += 4) {
      setFlags(draws[i + 3]);
      setTexture(draws[i + 2]);
      gl.drawElements(gl.TRIANGLES, draws[i + 1], gl.UNSIGNED_SHORT, draws[i] * 2);
    }
    requestAnimationFrame(draw);
  }
  requestAnimationFrame(draw);
})();
