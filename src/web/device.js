// The web edge's device: WebGL 2 drawing the fixed-function look of the Windows build
// (two point lights and a white material lit per vertex, the texture modulating the lit
// colour through its mip levels, additive rays that write no depth, z-buffer and culling),
// and a 2D canvas over it for the Impact lines.
mergeInto(LibraryManager.library, {
  $Dev: {
    gl: null, text: null, mesh: null, rays: null, buffers: null, texture: null,
    lights: null, fontEm: 20, fontAscent: 16,
    compile: function (vs, fs, names) {
      var gl = Dev.gl, p = gl.createProgram();
      [[gl.VERTEX_SHADER, vs], [gl.FRAGMENT_SHADER, fs]].forEach(function (s) {
        var sh = gl.createShader(s[0]);
        gl.shaderSource(sh, '#version 300 es\nprecision highp float;\n' + s[1]);
        gl.compileShader(sh);
        gl.attachShader(p, sh);
      });
      ['pos', 'nrm', 'uv', 'col'].forEach(function (a, i) { gl.bindAttribLocation(p, i, a); });
      gl.linkProgram(p);
      if (!gl.getProgramParameter(p, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(p));
      var u = { program: p };
      names.forEach(function (n) { u[n] = gl.getUniformLocation(p, n); });
      return u;
    },
    // The D3D matrices are row-major for row vectors: uploaded as they are, M * v in GLSL
    // is v * M. Direct3D's depth runs 0..1, GL's -1..1.
    transform: 'uniform mat4 W, V, P;\n' +
      'vec4 place(vec3 p) { vec4 c = P * (V * (W * vec4(p, 1.0))); c.z = 2.0 * c.z - c.w; return c; }\n',
    matrix: function (loc, ptr) { Dev.gl.uniformMatrix4fv(loc, false, HEAPF32.subarray(ptr >> 2, (ptr >> 2) + 16)); },
    cull: function (mode) {  // 0 none, 1 counter-clockwise culled, 2 clockwise culled
      var gl = Dev.gl;
      if (mode == 0) { gl.disable(gl.CULL_FACE); return; }
      gl.enable(gl.CULL_FACE);
      gl.cullFace(gl.BACK);
      gl.frontFace(mode == 1 ? gl.CW : gl.CCW);
    },
  },

  korva_device_open__deps: ['$Dev'],
  korva_device_open: function (width, height, stupidZbuffert) {
    var screen = document.getElementById('screen'), text = document.getElementById('text');
    screen.width = text.width = width;
    screen.height = text.height = height;
    var gl = screen.getContext('webgl2', { alpha: false, antialias: false, depth: true, preserveDrawingBuffer: false });
    if (!gl) return 0;
    Dev.gl = gl;
    Dev.text = text.getContext('2d');
    Dev.buffers = [null];  // ids start at 1
    // Per light i: L[4i] position and range, L[4i+1] diffuse, L[4i+2] attenuation.
    Dev.lights = new Float32Array(4 * 8);
    // Normals go through the inverse transpose of the world matrix, not renormalised, as
    // in the fixed pipeline without NORMALIZENORMALS; the lights are point lights with
    // 1 / (a0 + a1 d + a2 d^2) attenuation inside their range; ambient is 0.
    Dev.mesh = Dev.compile(Dev.transform +
      'uniform vec4 L[8];\nin vec3 pos; in vec3 nrm; in vec2 uv;\nout vec4 shade; out vec2 tc;\n' +
      'void main() {\n gl_Position = place(pos);\n tc = uv;\n' +
      ' vec3 w = (W * vec4(pos, 1.0)).xyz, n = transpose(inverse(mat3(W))) * nrm, c = vec3(0.0);\n' +
      ' for (int i = 0; i < 2; ++i) {\n  vec3 l = L[4 * i].xyz - w; float d = length(l);\n' +
      '  vec3 a = L[4 * i + 2].xyz; float k = d <= L[4 * i].w ? 1.0 / (a.x + a.y * d + a.z * d * d) : 0.0;\n' +
      '  c += L[4 * i + 1].rgb * max(dot(n, l / d), 0.0) * k;\n }\n shade = vec4(clamp(c, 0.0, 1.0), 1.0);\n}',
      'uniform sampler2D T; uniform bool textured;\nin vec4 shade; in vec2 tc; out vec4 o;\n' +
      'void main() { o = textured ? texture(T, tc) * shade : shade; }',
      ['W', 'V', 'P', 'L', 'T', 'textured']);
    Dev.rays = Dev.compile(Dev.transform + 'in vec3 pos; in vec4 col; out vec4 shade;\n' +
      'void main() { gl_Position = place(pos); shade = col.bgra; }',
      'in vec4 shade; out vec4 o;\nvoid main() { o = shade; }', ['W', 'V', 'P']);
    Dev.rayBuffer = gl.createBuffer();
    // StupidZbuffert takes the first depth format there is, 16 bits, as it does on Windows:
    // the frame is then drawn off screen and copied to the canvas at the present.
    Dev.frame = null;
    if (stupidZbuffert) {
      Dev.frame = gl.createFramebuffer();
      gl.bindFramebuffer(gl.FRAMEBUFFER, Dev.frame);
      [[gl.RGBA8, gl.COLOR_ATTACHMENT0], [gl.DEPTH_COMPONENT16, gl.DEPTH_ATTACHMENT]].forEach(function (f) {
        var r = gl.createRenderbuffer();
        gl.bindRenderbuffer(gl.RENDERBUFFER, r);
        gl.renderbufferStorage(gl.RENDERBUFFER, f[0], width, height);
        gl.framebufferRenderbuffer(gl.FRAMEBUFFER, f[1], gl.RENDERBUFFER, r);
      });
    }
    gl.viewport(0, 0, width, height);
    gl.enable(gl.DEPTH_TEST);
    gl.depthFunc(gl.LEQUAL);
    gl.blendFunc(gl.ONE, gl.ONE);
    Dev.cull(1);
    return 1;
  },

  korva_projection__deps: ['$Dev'],
  korva_projection: function (ptr) {
    [Dev.mesh, Dev.rays].forEach(function (u) { Dev.gl.useProgram(u.program); Dev.matrix(u.P, ptr); });
  },

  korva_clear__deps: ['$Dev'],
  korva_clear: function (colour, depth) {
    var gl = Dev.gl;
    gl.clearColor((colour >> 16 & 255) / 255, (colour >> 8 & 255) / 255, (colour & 255) / 255, 1);
    gl.depthMask(true);
    gl.clear(gl.COLOR_BUFFER_BIT | (depth ? gl.DEPTH_BUFFER_BIT : 0));
    Dev.text.clearRect(0, 0, Dev.text.canvas.width, Dev.text.canvas.height);
  },

  // Mip level `level` (size x size RGBA bytes) of the one texture.
  korva_texture_level__deps: ['$Dev'],
  korva_texture_level: function (level, size, ptr) {
    var gl = Dev.gl;
    if (!Dev.texture) {
      Dev.texture = gl.createTexture();
      gl.bindTexture(gl.TEXTURE_2D, Dev.texture);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.LINEAR_MIPMAP_LINEAR);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.LINEAR);
    }
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAX_LEVEL, level);
    gl.texImage2D(gl.TEXTURE_2D, level, gl.RGBA8, size, size, 0, gl.RGBA, gl.UNSIGNED_BYTE,
                  HEAPU8.subarray(ptr, ptr + size * size * 4));
  },

  korva_buffer_new__deps: ['$Dev'],
  korva_buffer_new: function (count) {
    var gl = Dev.gl, b = gl.createBuffer();
    gl.bindBuffer(gl.ARRAY_BUFFER, b);
    gl.bufferData(gl.ARRAY_BUFFER, count * 32, gl.DYNAMIC_DRAW);
    Dev.buffers.push(b);
    return Dev.buffers.length - 1;
  },

  korva_buffer_fill__deps: ['$Dev'],
  korva_buffer_fill: function (id, ptr, count) {
    var gl = Dev.gl;
    gl.bindBuffer(gl.ARRAY_BUFFER, Dev.buffers[id]);
    gl.bufferSubData(gl.ARRAY_BUFFER, 0, HEAPU8.subarray(ptr, ptr + count * 32));
  },

  // Light `index` from a D3DLIGHT7-shaped record: diffuse at 4, position at 52, range at 76,
  // attenuation at 84.
  korva_light__deps: ['$Dev'],
  korva_light: function (index, ptr) {
    var f = HEAPF32, p = ptr >> 2, l = Dev.lights, o = 16 * index;
    l.set([f[p + 13], f[p + 14], f[p + 15], f[p + 19], f[p + 1], f[p + 2], f[p + 3], 1,
           f[p + 21], f[p + 22], f[p + 23], 0], o);
  },

  // A mesh from a vertex buffer: lit, textured or not, as lines or triangles.
  korva_draw_mesh__deps: ['$Dev'],
  korva_draw_mesh: function (id, count, lines, textured, cull, world, view) {
    var gl = Dev.gl, u = Dev.mesh;
    if (!Dev.buffers[id] || count <= 0) return;
    gl.useProgram(u.program);
    Dev.matrix(u.W, world);
    Dev.matrix(u.V, view);
    gl.uniform4fv(u.L, Dev.lights);
    gl.uniform1i(u.textured, textured && Dev.texture ? 1 : 0);
    gl.bindBuffer(gl.ARRAY_BUFFER, Dev.buffers[id]);
    gl.enableVertexAttribArray(0); gl.vertexAttribPointer(0, 3, gl.FLOAT, false, 32, 0);
    gl.enableVertexAttribArray(1); gl.vertexAttribPointer(1, 3, gl.FLOAT, false, 32, 12);
    gl.enableVertexAttribArray(2); gl.vertexAttribPointer(2, 2, gl.FLOAT, false, 32, 24);
    gl.disableVertexAttribArray(3);
    Dev.cull(cull);
    gl.drawArrays(lines ? gl.LINES : gl.TRIANGLES, 0, count);
  },

  // Pre-lit vertices (the rays), added to the frame without writing depth.
  korva_draw_rays__deps: ['$Dev'],
  korva_draw_rays: function (ptr, count, cull, world, view) {
    var gl = Dev.gl, u = Dev.rays;
    gl.useProgram(u.program);
    Dev.matrix(u.W, world);
    Dev.matrix(u.V, view);
    gl.bindBuffer(gl.ARRAY_BUFFER, Dev.rayBuffer);
    gl.bufferData(gl.ARRAY_BUFFER, HEAPU8.subarray(ptr, ptr + count * 32), gl.STREAM_DRAW);
    gl.enableVertexAttribArray(0); gl.vertexAttribPointer(0, 3, gl.FLOAT, false, 32, 0);
    gl.disableVertexAttribArray(1); gl.disableVertexAttribArray(2);
    gl.enableVertexAttribArray(3); gl.vertexAttribPointer(3, 4, gl.UNSIGNED_BYTE, true, 32, 16);
    Dev.cull(cull);
    gl.enable(gl.BLEND);
    gl.depthMask(false);
    gl.drawArrays(gl.TRIANGLES, 0, count);
    gl.depthMask(true);
    gl.disable(gl.BLEND);
  },

  // GDI's height is the cell (ascent + descent); Anton's cell is 3550 of its 2048 units,
  // 2876 of them above the baseline.
  korva_font__deps: ['$Dev'],
  korva_font: function (height) {
    Dev.fontEm = height * 2048 / 3550;
    Dev.fontAscent = height * 2876 / 3550;
  },

  korva_text__deps: ['$Dev'],
  korva_text: function (ptr, x, y, colour) {
    var c = Dev.text;
    c.font = Dev.fontEm + 'px Anton, Impact, sans-serif';
    c.fillStyle = 'rgb(' + (colour & 255) + ',' + (colour >> 8 & 255) + ',' + (colour >> 16 & 255) + ')';
    c.fillText(UTF8ToString(ptr), x, y + Dev.fontAscent);
  },

  // The frame is shown when the browser next paints: wait for that (retrace), or only
  // for the browser to handle what is queued.
  korva_present__deps: ['$Dev'],
  korva_present: function (retrace) {
    var gl = Dev.gl, w = gl.canvas.width, h = gl.canvas.height;
    if (Dev.frame) {
      gl.bindFramebuffer(gl.DRAW_FRAMEBUFFER, null);
      gl.blitFramebuffer(0, 0, w, h, 0, 0, w, h, gl.COLOR_BUFFER_BIT, gl.NEAREST);
      gl.bindFramebuffer(gl.DRAW_FRAMEBUFFER, Dev.frame);
    }
    return Asyncify.handleSleep(function (wakeUp) {
      Module.korvaPresented();
      if (retrace) requestAnimationFrame(function () { wakeUp(); });
      else setTimeout(wakeUp, 0);
    });
  },
});
