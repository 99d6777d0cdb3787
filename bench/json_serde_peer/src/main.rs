// serde_json parsing and writing the same answer as json_bench, timed the same way:
//
//   json_serde_peer measure FILE RUNS   prints "parse <median ms>", "write <median ms>",
//                                       "bytes <n>"

use serde_json::Value;
use std::time::Instant;

fn median(mut values: Vec<f64>) -> f64 {
    values.sort_by(|a, b| a.partial_cmp(b).unwrap());
    let n = values.len();
    if n % 2 == 1 {
        values[n / 2]
    } else {
        (values[n / 2 - 1] + values[n / 2]) / 2.0
    }
}

fn main() {
    let args: Vec<String> = std::env::args().collect();
    if args.len() != 4 || args[1] != "measure" {
        eprintln!("usage: json_serde_peer measure FILE RUNS");
        std::process::exit(2);
    }
    let text = std::fs::read(&args[2]).expect("reading the answer");
    let runs: usize = args[3].parse().expect("a number of runs");

    let mut parse_times = Vec::new();
    let mut value = Value::Null;
    for _ in 0..runs {
        let start = Instant::now();
        let parsed: Value = serde_json::from_slice(&text).expect("a valid answer");
        parse_times.push(start.elapsed().as_secs_f64() * 1000.0);
        value = parsed; // the old value goes outside the timing
    }

    let mut write_times = Vec::new();
    let mut written = 0;
    for _ in 0..runs {
        let start = Instant::now();
        let out = serde_json::to_string(&value).expect("writable");
        write_times.push(start.elapsed().as_secs_f64() * 1000.0);
        written = out.len();
    }
    println!("parse {}\nwrite {}\nbytes {}", median(parse_times), median(write_times), written);
}
