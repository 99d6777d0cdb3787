// Prints what serde_json does with each case of the case files: the value written
// compact and pretty (or the reading error), and the three records read through derived
// Deserialize (or their errors). The C++ side prints the same for our implementation.
//
//   serde_diff_peer run FILE...     one block per case, on stdout
//   serde_diff_peer escape-table    the characters Debug escapes in a str, as a C++ table
//   serde_diff_peer unicode-version the Unicode version those characters come from

use serde::Deserialize;
use serde_json::Value;
use std::io::{self, BufWriter, Write};

#[derive(Deserialize)]
struct Handshake {
    version: u32,
    socket: String,
    token: String,
    pid: u32,
}

#[derive(Deserialize)]
struct ResponseError {
    code: String,
    message: String,
    #[serde(default)]
    details: Option<Value>,
}

#[derive(Deserialize)]
struct Response {
    ok: bool,
    #[serde(default)]
    data: Option<Value>,
    #[serde(default)]
    error: Option<ResponseError>,
}

// Printable ASCII stays, the backslash doubles, every other byte is \xNN.
fn esc(bytes: &[u8]) -> String {
    let mut out = String::new();
    for &b in bytes {
        if b == b'\\' {
            out.push_str("\\\\");
        } else if (0x20..0x7f).contains(&b) {
            out.push(b as char);
        } else {
            out.push_str(&format!("\\x{:02x}", b));
        }
    }
    out
}

fn optional_value(value: &Option<Value>) -> String {
    match value {
        None => "-".to_string(),
        Some(v) => esc(serde_json::to_string(v).unwrap().as_bytes()),
    }
}

fn hex_value(c: u8) -> Option<u8> {
    match c {
        b'0'..=b'9' => Some(c - b'0'),
        b'a'..=b'f' => Some(c - b'a' + 10),
        b'A'..=b'F' => Some(c - b'A' + 10),
        _ => None,
    }
}

// A case file: "t TEXT" is the text as written, "x HEX" any bytes; "#" lines and blank
// lines are skipped.
fn read_cases(path: &str) -> Vec<(usize, Vec<u8>)> {
    let content = std::fs::read(path).unwrap_or_else(|e| panic!("{}: {}", path, e));
    let mut cases = Vec::new();
    for (number, line) in content.split(|&b| b == b'\n').enumerate() {
        if line.starts_with(b"t ") {
            cases.push((number + 1, line[2..].to_vec()));
        } else if line.starts_with(b"x ") {
            let hex: Vec<u8> = line[2..].iter().cloned().filter(|c| !c.is_ascii_whitespace()).collect();
            let bytes = hex
                .chunks(2)
                .map(|p| hex_value(p[0]).unwrap() * 16 + hex_value(p[1]).unwrap())
                .collect();
            cases.push((number + 1, bytes));
        }
    }
    cases
}

fn run(files: &[String]) -> io::Result<()> {
    let stdout = io::stdout();
    let mut out = BufWriter::new(stdout.lock());
    let mut index = 0;
    for file in files {
        let name = file.rsplit('/').next().unwrap();
        for (line, bytes) in read_cases(file) {
            index += 1;
            writeln!(out, "case {} {}:{}", index, name, line)?;
            match serde_json::from_slice::<Value>(&bytes) {
                Ok(v) => {
                    writeln!(out, "value: {}", esc(serde_json::to_string(&v).unwrap().as_bytes()))?;
                    writeln!(out, "pretty: {}", esc(serde_json::to_string_pretty(&v).unwrap().as_bytes()))?;
                }
                Err(e) => writeln!(out, "value error: {}", esc(e.to_string().as_bytes()))?,
            }
            match serde_json::from_slice::<Handshake>(&bytes) {
                Ok(h) => writeln!(
                    out,
                    "handshake: version={} socket={} token={} pid={}",
                    h.version,
                    esc(h.socket.as_bytes()),
                    esc(h.token.as_bytes()),
                    h.pid
                )?,
                Err(e) => writeln!(out, "handshake error: {}", esc(e.to_string().as_bytes()))?,
            }
            match serde_json::from_slice::<Response>(&bytes) {
                Ok(r) => {
                    let error = match &r.error {
                        None => "-".to_string(),
                        Some(e) => format!(
                            "code={} message={} details={}",
                            esc(e.code.as_bytes()),
                            esc(e.message.as_bytes()),
                            optional_value(&e.details)
                        ),
                    };
                    writeln!(out, "response: ok={} data={} error={}", r.ok, optional_value(&r.data), error)?
                }
                Err(e) => writeln!(out, "response error: {}", esc(e.to_string().as_bytes()))?,
            }
        }
    }
    out.flush()
}

fn escape_table() {
    let mut ranges: Vec<(u32, u32)> = Vec::new();
    for cp in 0u32..=0x10FFFF {
        let c = match std::char::from_u32(cp) {
            Some(c) => c,
            None => continue,
        };
        if format!("{:?}", c.to_string()) == format!("\"{}\"", c) {
            continue;
        }
        match ranges.last_mut() {
            Some(last) if last.1 + 1 == cp => last.1 = cp,
            _ => ranges.push((cp, cp)),
        }
    }
    let mut line = String::from("   ");
    for (first, last) in ranges {
        let item = format!(" {{0x{:x}, 0x{:x}}},", first, last);
        if line.len() + item.len() > 96 {
            println!("{}", line);
            line = String::from("   ");
        }
        line.push_str(&item);
    }
    println!("{}", line);
}

fn main() {
    let args: Vec<String> = std::env::args().collect();
    match args.get(1).map(|s| s.as_str()) {
        Some("run") => run(&args[2..]).expect("writing the output"),
        Some("escape-table") => escape_table(),
        Some("unicode-version") => {
            let (major, minor, update) = char::UNICODE_VERSION;
            println!("{}.{}.{}", major, minor, update);
        }
        _ => {
            eprintln!("usage: serde_diff_peer run FILE... | escape-table | unicode-version");
            std::process::exit(2);
        }
    }
}
