// Drives `quillboard mcp` with the official MCP TypeScript SDK client: the client must accept
// every reply. First against the stand-in app that the program starts by itself, then against
// an app served from this script whose answers carry data that is not an object.
//
//   node client.mjs PATH_TO_QUILLBOARD
import assert from "node:assert/strict";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";

const program = process.argv[2];
const appId = "com.vantix.office";

const toolNames = [
  "office_new_from_template", "office_templates", "office_status", "office_manifest",
  "office_open", "office_execute", "office_register_media", "office_operation", "office_undo",
  "office_redo", "office_new", "office_clone", "office_save_as", "office_export", "office_close",
  "office_select_tab", "office_submit_feedback", "office_save",
];

// A fresh APPDATA folder; the stand-in writes a mark per start into pids/ so that every
// stand-in this test caused can be ended.
function appData() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), "quillboard-sdk-"));
  return { dir, pids: path.join(dir, "pids"), control: path.join(dir, appId, "cli-control.json") };
}

function endStandIns(data) {
  const names = fs.existsSync(data.pids) ? fs.readdirSync(data.pids) : [];
  for (const name of names.filter((n) => n.endsWith(".start"))) {
    try {
      process.kill(Number(name.slice(0, -".start".length)), "SIGKILL");
    } catch {
      // already gone
    }
  }
}

async function connect(data) {
  const transport = new StdioClientTransport({
    command: program,
    args: ["mcp"],
    env: {
      APPDATA: data.dir,
      QB_STANDIN_PID_DIR: data.pids,
      QB_STANDIN_IDLE_MS: "60000",
    },
    stderr: "pipe",
  });
  let stderr = "";
  transport.stderr.on("data", (chunk) => (stderr += chunk));
  const client = new Client({ name: "SDK Test Client", version: "1.0.0" });
  await client.connect(transport);
  return { client, stderr: () => stderr };
}

function text(result) {
  assert.equal(result.content.length, 1);
  assert.equal(result.content[0].type, "text");
  return result.content[0].text;
}

async function againstTheStandIn() {
  const data = appData();
  try {
    const { client, stderr } = await connect(data);
    assert.equal(client.getServerVersion().name, "Quillboard");
    assert.equal(client.getServerVersion().version, "0.1.75");
    assert.ok(client.getInstructions().startsWith("Use Quillboard"));
    await client.ping();

    const { tools } = await client.listTools();
    assert.deepEqual(tools.map((t) => t.name), toolNames);

    const status = await client.callTool({ name: "office_status", arguments: {} });
    assert.equal(status.isError, false, text(status));
    assert.deepEqual(status.structuredContent.tabs, []);
    assert.deepEqual(JSON.parse(text(status)), status.structuredContent);

    const file = path.join(data.dir, "notes.md");
    fs.writeFileSync(file, "# Notes\n");
    const opened = await client.callTool({ name: "office_open", arguments: { path: file } });
    assert.equal(opened.isError, false, text(opened));

    const tabs = (await client.callTool({ name: "office_status" })).structuredContent.tabs;
    assert.equal(tabs.length, 1);
    const target = tabs[0].id;

    for (const [name, args] of [
      ["office_execute", { target, commands: [{ type: "text.insert", text: "hi" }] }],
      ["office_undo", { target }],
      ["office_save", { target }],
    ]) {
      const result = await client.callTool({ name, arguments: args });
      assert.equal(result.isError, false, `${name}: ${text(result)}`);
    }

    const closed = await client.callTool({ name: "office_close", arguments: { target, force: true } });
    assert.equal(closed.isError, false, text(closed));
    const after = await client.callTool({ name: "office_status" });
    assert.deepEqual(after.structuredContent.tabs, []);

    const refused = await client.callTool({ name: "office_new", arguments: {} });
    assert.equal(refused.isError, true);
    assert.equal(text(refused), 'office_new needs a "format".');
    assert.equal(refused.structuredContent, undefined);

    const unknown = await client.callTool({ name: "office_nothing", arguments: {} });
    assert.equal(unknown.isError, true);
    assert.equal(text(unknown), "Unknown tool: office_nothing");

    await client.close();
    assert.equal(stderr(), "");
  } finally {
    endStandIns(data);
    fs.rmSync(data.dir, { recursive: true, force: true });
  }
}

// An app that answers each request with the next line of `answers` (the last one repeats).
async function scriptedApp(data, answers) {
  const requests = [];
  const server = net.createServer((socket) => {
    let buffered = "";
    socket.on("data", (chunk) => {
      buffered += chunk;
      const end = buffered.indexOf("\n");
      if (end < 0) return;
      const request = JSON.parse(buffered.slice(0, end));
      requests.push(request);
      socket.end(answers[Math.min(requests.length - 1, answers.length - 1)] + "\n");
    });
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  fs.mkdirSync(path.dirname(data.control), { recursive: true });
  fs.writeFileSync(data.control, JSON.stringify({
    version: 3, socket: `127.0.0.1:${server.address().port}`, token: "sdk", pid: process.pid,
  }));
  return { server, requests };
}

async function againstAScriptedApp() {
  const data = appData();
  const { server, requests } = await scriptedApp(data, [
    '{"ok":true}',                                      // hello
    '{"ok":true}',                                      // save: no data at all
    '{"ok":true,"data":[1,"two"]}',                     // status: an array
    '{"ok":true,"data":"done"}',                        // undo: a string
    '{"ok":false,"error":{"code":"Busy","message":"later","details":[1]},"data":7}',
  ]);
  try {
    const { client, stderr } = await connect(data);
    const cases = [
      ["office_save", false, "null", undefined],
      ["office_status", false, '[\n  1,\n  "two"\n]', undefined],
      ["office_undo", false, '"done"', undefined],
      ["office_redo", true,
       '{\n  "error": {\n    "code": "Busy",\n    "details": [\n      1\n    ],\n' +
       '    "message": "later"\n  },\n  "ok": false\n}',
       { error: { code: "Busy", details: [1], message: "later" }, ok: false }],
    ];
    for (const [name, isError, shown, structured] of cases) {
      const result = await client.callTool({ name, arguments: {} });
      assert.equal(result.isError, isError, name);
      assert.equal(text(result), shown, name);
      assert.deepEqual(result.structuredContent, structured, name);
    }
    await client.close();
    assert.equal(stderr(), "");
    assert.deepEqual(requests.map((r) => r.op), ["hello", "save", "status", "undo", "redo"]);
    assert.deepEqual(requests[0].client, { id: "sdk-test-client", version: "1.0.0",
                                           label: "SDK Test Client" });
  } finally {
    server.close();
    fs.rmSync(data.dir, { recursive: true, force: true });
  }
}

try {
  await againstTheStandIn();
  await againstAScriptedApp();
  console.log("MCP SDK client: every reply accepted");
} catch (error) {
  console.error(error);
  process.exit(1);
}
