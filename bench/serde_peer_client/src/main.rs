//! The road of `quillboard status`, written the way a Rust program on serde_json would walk
//! it: read the control file as a record, connect to its loopback address, send the request
//! line, read one answer line (at most 8 MiB), read it as a Response and print its data as
//! compact JSON on stdout, or the whole answer on stderr when it failed.

use serde::{Deserialize, Serialize};
use std::io::{BufRead, BufReader, Read, Write};
use std::net::{SocketAddr, TcpStream};
use std::process::ExitCode;
use std::time::Duration;

const MAX_FRAME: u64 = 8 * 1024 * 1024;

#[derive(Deserialize)]
#[allow(dead_code)]
struct Handshake {
    version: u32,
    socket: String,
    token: String,
    pid: u32,
}

#[derive(Serialize)]
struct Request<'a> {
    token: &'a str,
    op: &'a str,
    params: serde_json::Value,
}

#[derive(Deserialize, Serialize)]
struct ResponseError {
    code: String,
    message: String,
    #[serde(default, skip_serializing_if = "Option::is_none")]
    details: Option<serde_json::Value>,
}

#[derive(Deserialize, Serialize)]
struct Response {
    #[serde(default, skip_serializing_if = "Option::is_none")]
    data: Option<serde_json::Value>,
    #[serde(default, skip_serializing_if = "Option::is_none")]
    error: Option<ResponseError>,
    ok: bool,
}

fn control_file_path() -> Result<std::path::PathBuf, String> {
    let base = std::env::var_os("APPDATA").ok_or("no home directory")?;
    Ok(std::path::Path::new(&base)
        .join("com.vantix.office")
        .join("cli-control.json"))
}

fn run() -> Result<bool, String> {
    let path = control_file_path()?;
    let text = std::fs::read_to_string(&path).map_err(|e| format!("could not read: {e}"))?;
    let handshake: Handshake =
        serde_json::from_str(&text).map_err(|e| format!("unreadable handshake: {e}"))?;
    if handshake.version != 3 {
        return Err(format!("the app speaks protocol {}", handshake.version));
    }
    let address: SocketAddr = handshake
        .socket
        .parse()
        .map_err(|_| format!("not an address: {}", handshake.socket))?;
    let stream = TcpStream::connect_timeout(&address, Duration::from_secs(15))
        .map_err(|e| e.to_string())?;
    stream
        .set_read_timeout(Some(Duration::from_secs(16)))
        .map_err(|e| e.to_string())?;

    let request = Request { token: &handshake.token, op: "status", params: serde_json::json!({}) };
    let mut line = Vec::with_capacity(128);
    serde_json::to_writer(&mut line, &request).map_err(|e| e.to_string())?;
    line.push(b'\n');
    (&stream).write_all(&line).map_err(|e| format!("could not send the request: {e}"))?;

    let mut reader = BufReader::with_capacity(8192, (&stream).take(MAX_FRAME));
    let mut answer = String::new();
    reader
        .read_line(&mut answer)
        .map_err(|e| format!("could not read the answer: {e}"))?;
    if answer.is_empty() {
        return Err("connection closed before a frame arrived".into());
    }
    let response: Response =
        serde_json::from_str(&answer).map_err(|e| format!("could not read the answer: {e}"))?;

    let stdout = std::io::stdout();
    let stderr = std::io::stderr();
    let (mut out, printed) = if response.ok {
        (Box::new(stdout.lock()) as Box<dyn Write>, serde_json::to_vec(&response.data))
    } else {
        (Box::new(stderr.lock()) as Box<dyn Write>, serde_json::to_vec(&response))
    };
    let mut printed = printed.map_err(|e| e.to_string())?;
    printed.push(b'\n');
    out.write_all(&printed).map_err(|e| e.to_string())?;
    Ok(response.ok)
}

fn main() -> ExitCode {
    match run() {
        Ok(true) => ExitCode::SUCCESS,
        Ok(false) => ExitCode::FAILURE,
        Err(message) => {
            eprintln!("{}", serde_json::json!({"error": {"code": "BadRequest", "message": message}, "ok": false}));
            ExitCode::FAILURE
        }
    }
}
