// An MCP server built on the official TypeScript SDK, serving the same 18 tools as
// `quillboard mcp` so that the serve loops can be compared line for line.
//
//   node server.mjs TOOLS_LIST_REPLY.json
//
// The file holds one tools/list reply of `quillboard mcp` (saved at bench time); ping is
// answered by the SDK itself.
import { readFileSync } from "node:fs";
import { Server } from "@modelcontextprotocol/sdk/server/index.js";
import { StdioServerTransport } from "@modelcontextprotocol/sdk/server/stdio.js";
import { ListToolsRequestSchema } from "@modelcontextprotocol/sdk/types.js";

const reply = JSON.parse(readFileSync(process.argv[2], "utf8"));
const tools = reply.result.tools;

const server = new Server(
  { name: "Quillboard", version: "0.1.75" },
  { capabilities: { tools: {} } },
);
server.setRequestHandler(ListToolsRequestSchema, async () => ({ tools }));
await server.connect(new StdioServerTransport());
