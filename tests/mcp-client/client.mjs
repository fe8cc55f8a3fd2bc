// Drives `ostrevane mcp` through the official MCP TypeScript SDK: its Client
// over a StdioClientTransport, the way an agent would. Prints one JSON summary
// on standard output for MCPClientTests to check; everything else, the
// server's standard error included, goes to standard error.
//
//   node client.mjs <ostrevane executable> <folder inside the home to scan>
//
// The home comes from the environment (OSTREVANE_HOME and the XDG folders),
// which is passed on to the server.
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport, getDefaultEnvironment } from "@modelcontextprotocol/sdk/client/stdio.js";

const [executable, scanPath] = process.argv.slice(2);
if (!executable || !scanPath) {
  process.stderr.write("usage: node client.mjs <ostrevane> <path to scan>\n");
  process.exit(2);
}

// One bound for every request, and one for the whole run, so a server that
// stops answering ends this script with a message instead of a hang.
const requestTimeout = 20_000;
const overallTimeout = 45_000;

let step = "starting";
// The SDK can drop its handle on the server after a failed request without
// ending it, so a failing run ends the server itself.
let serverPid = null;
function endServer() {
  try {
    if (serverPid) process.kill(serverPid, "SIGKILL");
  } catch {
    // Already gone.
  }
}

const watchdog = setTimeout(() => {
  process.stderr.write(`client: gave up after ${overallTimeout} ms while ${step}\n`);
  endServer();
  process.exit(3);
}, overallTimeout);

// The SDK starts the server with a small default environment; add what
// points it at the temporary home, and what the sanitizer builds read.
const env = getDefaultEnvironment();
for (const [name, value] of Object.entries(process.env)) {
  if (/^(OSTREVANE_|XDG_|ASAN_|UBSAN_|LSAN_)/.test(name) || name === "TMPDIR") env[name] = value;
}

const transport = new StdioClientTransport({ command: executable, args: ["mcp"], env, stderr: "pipe" });
transport.stderr.on("data", (chunk) => process.stderr.write(`server: ${chunk}`));

const client = new Client({ name: "ostrevane-sdk-test", version: "1.0.0" });
const options = { timeout: requestTimeout };
const sdkErrors = [];
client.onerror = (error) => sdkErrors.push(String(error?.message ?? error));

// What went over the wire, seen through the transport: the SDK hands a
// progress notification to `onprogress` only when it has not yet read the
// reply, so a notification written just before the reply of a quick call may
// never reach `onprogress` though the server sent it correctly.
const wire = { progressTokensSent: [], progressReceived: [] };
function watchTransport() {
  const send = transport.send.bind(transport);
  transport.send = (message, sendOptions) => {
    const token = message.params?._meta?.progressToken;
    if (token !== undefined) wire.progressTokensSent.push(token);
    return send(message, sendOptions);
  };
  const answered = new Set();
  const receive = transport.onmessage;
  transport.onmessage = (message, extra) => {
    if (message.method === "notifications/progress") {
      // Progress for a call that was already answered would be a server fault.
      wire.progressReceived.push({ ...message.params, afterReply: answered.has(message.params?.progressToken) });
    } else if (message.id !== undefined && !message.method) {
      answered.add(message.id);
    }
    receive?.(message, extra);
  };
}

async function callTool(name, args, extra = {}) {
  step = `calling ${name} ${JSON.stringify(args)}`;
  const result = await client.callTool({ name, arguments: args }, undefined, { ...options, ...extra });
  const text = result.content?.[0]?.type === "text" ? result.content[0].text : null;
  let data = null;
  try {
    data = text === null ? null : JSON.parse(text);
  } catch {
    // Left null: the test reports the raw text.
  }
  // The raw text only when it is not JSON, to show what came instead.
  return { isError: result.isError === true, contentCount: result.content?.length ?? 0, data, text: data === null ? text : undefined };
}

async function main() {
  step = "connecting";
  const connecting = client.connect(transport, options);
  serverPid = transport.pid;  // the transport starts the server before connect's first wait
  await connecting;
  watchTransport();
  const summary = {
    server: client.getServerVersion(),
    capabilities: client.getServerCapabilities(),
    instructions: client.getInstructions(),
  };

  step = "pinging";
  summary.ping = await client.ping(options);

  step = "listing tools";
  const { tools } = await client.listTools(undefined, options);
  summary.tools = tools.map((tool) => tool.name);

  summary.diskStatus = await callTool("disk_status", {});

  let progressDelivered = 0;
  summary.scan = await callTool("scan_directory", { path: scanPath, depth: 2, top: 5 }, {
    onprogress: () => ++progressDelivered,
  });
  summary.scan.progress = { ...wire, delivered: progressDelivered };

  summary.quickSuggestions = await callTool("get_suggestions", { quick: true });
  summary.fullSuggestions = await callTool("get_suggestions", { quick: false });

  step = "closing";
  await client.close();
  summary.sdkErrors = sdkErrors;
  return summary;
}

main().then(
  (summary) => {
    clearTimeout(watchdog);
    process.stdout.write(JSON.stringify(summary) + "\n", () => process.exit(0));
  },
  async (error) => {
    process.stderr.write(`client: failed while ${step}: ${error?.stack ?? error}\n`);
    endServer();
    process.exit(1);
  },
);
