#!/usr/bin/env python3
"""Whole-process benchmarks of quotazioni, side by side with the sqlite3 shell.

Each benchmark builds its data in a temporary folder, runs the program as a separate process
several times (medians of wall time, peak memory from /usr/bin/time -v) and runs the shell command
it is compared with on the same data. See bench/README.md for the figures and the targets.

    bench.py startup  --exe build/quotazioni --records 0 28000 1000000
    bench.py import   --exe build/quotazioni --records 1000000 --lines 100000
    bench.py backfill --exe build/quotazioni --days 7000 [--currencies bank]
    bench.py csvimport --exe build/quotazioni --days 7000
    bench.py postgres --exe build/quotazioni --records 28000 1000000
    bench.py longlist --exe build/quotazioni --lines 100000
    bench.py window   --exe build/quotazioni --records 1000000

The window benchmark starts an X server of its own (Xvfb, on a free display) and watches the program
from outside: the first paint is the first read of the screen's pixels that shows anything but the
black background, idle is the moment after which the process uses no more CPU time (/proc/PID/stat)
for half a second.

The postgres benchmark starts a PostgreSQL server of its own (in a temporary folder, on a unix socket
only, as the "postgres" account when run as root) and compares with psql instead of the sqlite3 shell.
"""

import argparse
import datetime
import glob
import http.server
import os
import pwd
import re
import shutil
import socketserver
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SCHEMA = os.path.join(HERE, "..", "..", "packaging", "storico_valute.sql")
PAIRS = [("EUR/USD", "EUR/USD - DOLLARO USA - 1"), ("EUR/CHF", "EUR/CHF - FRANCO SVIZZERO - 2"),
         ("EUR/JPY", "EUR/JPY - YEN GIAPPONESE - 3"), ("EUR/GBP", "EUR/GBP - STERLINA INGLESE - 4")]
LEGACY_PAGE = (b"<html><body><p>EUR/USD   1,0871 1,0899<BR>EUR/CHF 0,9412<BR>"
               b"EUR/JPY 131,25 131,4<BR>EUR/GBP 0,8567<BR></p></body></html>")
# The 41 currencies of the bank's history CSV, in the order the published file lists them today.
BANK_CURRENCIES = ("USD JPY BGN CYP CZK DKK EEK GBP HUF LTL LVL MTL PLN ROL RON SEK SIT SKK CHF ISK NOK "
                   "HRK RUB TRL TRY AUD BRL CAD CNY HKD IDR ILS INR KRW MXN MYR NZD PHP SGD THB ZAR").split()


def sqlite(path, sql):
    subprocess.run(["sqlite3", path], input=sql.encode(), check=True, stdout=subprocess.DEVNULL)


def make_database(path, records):
    """The shipped schema holding `records` rows over the four pairs, one day per four rows."""
    with open(SCHEMA) as f:
        schema = f.read()
    values = ",".join("('%s','%s')" % p for p in PAIRS)
    sqlite(path, schema + f"""
PRAGMA journal_mode=DELETE;
CREATE TEMP TABLE pairs(n INTEGER PRIMARY KEY, code, description);
INSERT INTO pairs(code, description) VALUES {values};
BEGIN;
WITH RECURSIVE i(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM i WHERE n + 1 < {records})
INSERT INTO Storico_Valute
SELECT p.code, strftime('%Y%m%d', julianday('1900-01-01') + i.n / 4), 1.0 + (i.n % 4) + (i.n % 1000) / 10000.0,
       p.description, ''
FROM i JOIN pairs p ON p.n = i.n % 4 + 1
WHERE i.n < {records};
COMMIT;
""")


UNREADABLE_INDEX = "Storico_Valute_Quotazione_Illeggibile"


def drop_unreadable_index(database):
    """The file as made before the shipped schema had the index of unreadable quotes."""
    sqlite(database, f"DROP INDEX IF EXISTS {UNREADABLE_INDEX};")


def make_data_dir(folder, records, without_index=False):
    """A data folder as the program leaves it: the shipped database filled, the four-pair list. The
    database carries the shipped schema's indexes, unless `without_index` (a file made before the index
    of unreadable quotes)."""
    os.makedirs(folder, exist_ok=True)
    make_database(os.path.join(folder, "VALUTE.MDB"), records)
    if without_index:
        drop_unreadable_index(os.path.join(folder, "VALUTE.MDB"))
    with open(os.path.join(folder, "zantoro.TXT"), "w", newline="\r\n") as f:
        f.write("".join(code + "\n" for code, _ in PAIRS))


class Server:
    """Serves files from a dict path -> bytes on 127.0.0.1 in a background thread."""

    def __init__(self, files):
        pages = files

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                body = pages.get(self.path)
                self.send_response(200 if body is not None else 404)
                self.send_header("Content-Length", str(len(body or b"")))
                self.end_headers()
                self.wfile.write(body or b"")

            def log_message(self, *args):
                pass

        socketserver.TCPServer.allow_reuse_address = True
        self.httpd = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.port}{path}"


def timed(command, env=None):
    """Wall seconds, peak resident MiB and exit status of one run under /usr/bin/time -v."""
    start = time.perf_counter()
    result = subprocess.run(["/usr/bin/time", "-v"] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, env=env)
    wall = time.perf_counter() - start
    peak = re.search(rb"Maximum resident set size \(kbytes\): (\d+)", result.stderr)
    return wall, (int(peak.group(1)) / 1024 if peak else 0.0), result.returncode, result.stderr


def run_env():
    env = dict(os.environ)
    env.update({"LANG": "it_IT.UTF-8", "LC_ALL": "it_IT.UTF-8", "QT_QPA_PLATFORM": "offscreen"})
    return env


def cpu_seconds(time_output):
    """User plus system seconds from the report of /usr/bin/time -v."""
    return sum(float(m) for m in re.findall(rb"(?:User|System) time \(seconds\): ([0-9.]+)", time_output))


def run_checked(prepare, command, env=None, check=None):
    """One run after `prepare`, stopping the benchmark when it fails or `check` finds it wrong: wall
    seconds, CPU seconds (user + system) and peak resident MiB."""
    if prepare:
        prepare()
    wall, peak, status, err = timed(command, env)
    if status not in (0, None):
        sys.stderr.write(err.decode(errors="replace")[-2000:])
        raise SystemExit(f"{command[0]} exited with {status}")
    if check:
        check()
    return wall, cpu_seconds(err), peak


def medians(runs, prepare, command, env=None, check=None, cpu=None):
    """Median wall time and largest peak memory of `runs` runs; `check`, when given, looks at each run's
    result; `cpu`, when given, is a list that receives each run's CPU seconds."""
    walls, peaks = [], []
    for _ in range(runs):
        wall, seconds, peak = run_checked(prepare, command, env, check)
        if cpu is not None:
            cpu.append(seconds)
        walls.append(wall)
        peaks.append(peak)
    return statistics.median(walls), max(peaks)


def side_by_side(runs, jobs):
    """Runs the jobs in turn, one run of each per round, so that a machine busy with other work slows
    them alike; the order within a round rotates. jobs: (prepare, command, env, check). Gives for each
    job its median wall time, median CPU time (user + system) and largest peak memory."""
    walls = [[] for _ in jobs]
    cpus = [[] for _ in jobs]
    peaks = [0.0 for _ in jobs]
    for round_number in range(runs):
        order = list(range(len(jobs)))
        shift = round_number % len(jobs)
        order = order[shift:] + order[:shift]
        for index in order:
            wall, seconds, peak = run_checked(*jobs[index])
            walls[index].append(wall)
            cpus[index].append(seconds)
            peaks[index] = max(peaks[index], peak)
    return [(statistics.median(w), statistics.median(c), p) for w, c, p in zip(walls, cpus, peaks)]


def ratio(part, whole):
    """The ratio as "2.50x"; "-" when the whole is too small for the clock to see."""
    return "%.2fx" % (part / whole) if whole > 0 else "-"


def report(title, rows):
    print(title)
    print("| %s |" % " | ".join(rows[0]))
    print("|%s|" % "|".join("---" for _ in rows[0]))
    for row in rows[1:]:
        print("| %s |" % " | ".join(row))
    print()


def bench_startup(args):
    """The --batch daily job on a legacy page against the shell's listing of the same pair, and against
    the same job on an empty history, all three side by side."""
    server = Server({"/page": LEGACY_PAGE})
    rows = [("records", "--batch daily job", "the floor", "ratio to the floor", "ratio to the empty start",
             "CPU: job / floor", "peak memory")]
    floor_sql = ("SELECT * FROM Storico_Valute WHERE Tipo_Valuta = 'EUR/USD' ORDER BY Data_Valuta;"
                 "SELECT count(*) FROM Storico_Valute;")
    empty = tempfile.mkdtemp(prefix="bench-startup-empty-")
    try:
        make_data_dir(empty, 0)
        empty_job = (None, [args.exe, "--batch", "--data-dir", empty, "--page-url", server.url("/page")], run_env(),
                     None)
        for records in args.records:
            folder = tempfile.mkdtemp(prefix="bench-startup-")
            try:
                make_data_dir(folder, records)
                database = os.path.join(folder, "VALUTE.MDB")
                # --without-index: every run is the first open of a file made before the index.
                prepare = (lambda: drop_unreadable_index(database)) if args.without_index else None
                job = (prepare, [args.exe, "--batch", "--data-dir", folder, "--page-url", server.url("/page")],
                       run_env(), None)
                floor = (None, ["sqlite3", database, floor_sql], None, None)
                jobs = [job, floor, empty_job]
                if args.baseline:
                    command = [args.baseline] + job[1][1:]
                    if args.baseline_without_index:
                        old = folder + "-baseline"
                        make_data_dir(old, records, without_index=True)
                        command[command.index(folder)] = old
                    jobs.append((None, command, run_env(), None))
                results = side_by_side(args.runs, jobs)
                (job_wall, job_cpu, peak), (floor_wall, floor_cpu, _), (empty_wall, _, _) = results[:3]
                rows.append((f"{records:,}", "%.3f s" % job_wall, "%.3f s" % floor_wall,
                             ratio(job_wall, floor_wall), ratio(job_wall, empty_wall),
                             "%.3f / %.3f s" % (job_cpu, floor_cpu), "%.0f MiB" % peak))
                if args.baseline:
                    base_wall, base_cpu, base_peak = results[3]
                    rows.append(("%s, baseline" % f"{records:,}", "%.3f s" % base_wall, "%.3f s" % floor_wall,
                                 ratio(base_wall, floor_wall), ratio(base_wall, empty_wall),
                                 "%.3f / %.3f s" % (base_cpu, floor_cpu), "%.0f MiB" % base_peak))
            finally:
                shutil.rmtree(folder)
                shutil.rmtree(folder + "-baseline", ignore_errors=True)
    finally:
        shutil.rmtree(empty)
    report("Daily job, medians of %d runs side by side" % args.runs, rows)


def rates_file(path, first_day, lines):
    """A dollar file of official rates: three header lines, then one line a day."""
    with open(path, "w", newline="\r\n") as f:
        f.write("Cambi ufficiali\nValuta selezionata: Dollaro USA\nData,Cambio,Note\n")
        day = first_day
        for i in range(lines):
            f.write("%s,%.4f,\n" % (day.strftime("%d/%m/%Y"), 1.0 + (i % 1000) / 10000.0))
            day += datetime.timedelta(days=1)


def bench_import(args):
    """--import of a rates file into a large history against the shell's .import of the same rows."""
    folder = tempfile.mkdtemp(prefix="bench-import-")
    try:
        base = os.path.join(folder, "base")
        make_data_dir(base, args.records)
        # Half the lines overwrite stored dollar days, half add new ones.
        stored_days = args.records // 4
        first = datetime.date(1900, 1, 1) + datetime.timedelta(days=max(0, stored_days - args.lines // 2))
        rates = os.path.join(folder, "cambi.csv")
        rates_file(rates, first, args.lines)
        rows_csv = os.path.join(folder, "rows.csv")
        with open(rates) as src, open(rows_csv, "w") as dst:
            for line in list(src)[3:]:
                date, rate, _ = line.strip().split(",")
                d, m, y = date.split("/")
                dst.write(f"EUR/USD,{y}{m}{d},{rate},EUR/USD - DOLLARO USA,\n")
        # Each side has its own copy, made afresh before each of its runs.
        work = {}

        def fresh(name):
            def make():
                shutil.rmtree(work[name], ignore_errors=True)
                shutil.copytree(base, work[name])
            work[name] = os.path.join(folder, name)
            return make

        expected = args.records + args.lines - min(args.lines // 2, args.records // 4)

        def counted(name):
            def check():
                found = int(subprocess.run(["sqlite3", os.path.join(work[name], "VALUTE.MDB"),
                                            "SELECT count(*) FROM Storico_Valute"], capture_output=True,
                                           check=True).stdout)
                if name == "program" and found != expected:
                    raise SystemExit(f"{name}: {found} records, {expected} expected")
            return check

        program = (fresh("program"), [args.exe, "--batch", "--data-dir", os.path.join(folder, "program"),
                                      "--import", rates], run_env(), counted("program"))
        shell = (fresh("shell"), ["sqlite3", os.path.join(folder, "shell", "VALUTE.MDB"), ".mode csv",
                                  f".import {rows_csv} Storico_Valute"], None, None)
        jobs = [program, shell]
        if args.baseline:
            base_copy = os.path.join(folder, "base-baseline")
            shutil.copytree(base, base_copy)
            if args.baseline_without_index:
                drop_unreadable_index(os.path.join(base_copy, "VALUTE.MDB"))

            def fresh_baseline():
                shutil.rmtree(work["baseline"], ignore_errors=True)
                shutil.copytree(base_copy, work["baseline"])
            work["baseline"] = os.path.join(folder, "baseline")
            jobs.append((fresh_baseline, [args.baseline, "--batch", "--data-dir", work["baseline"], "--import",
                                          rates], run_env(), None))
        results = side_by_side(args.runs, jobs)
        (job_wall, job_cpu, peak), (shell_wall, shell_cpu, _) = results[:2]
        header = ("program", "shell .import", "ratio", "CPU: program / shell", "peak memory")
        row = ("%.3f s" % job_wall, "%.3f s" % shell_wall, ratio(job_wall, shell_wall),
               "%.3f / %.3f s (%s)" % (job_cpu, shell_cpu, ratio(job_cpu, shell_cpu)), "%.0f MiB" % peak)
        if args.baseline:
            header += ("baseline", "baseline: ratio")
            row += ("%.3f s" % results[2][0], ratio(results[2][0], shell_wall))
        report("Import of %d lines into %d records, medians of %d runs side by side"
               % (args.lines, args.records, args.runs), [header, row])
    finally:
        shutil.rmtree(folder)


def working_days(last, count):
    """`count` weekdays ending at `last`, newest first."""
    days, day = [], last
    while len(days) < count:
        if day.weekday() < 5:
            days.append(day)
        day -= datetime.timedelta(days=1)
    return days


def rate_of(code_index, day_index):
    return round(0.5 + code_index * 0.37 + (day_index % 997) / 10000.0, 4)


def reference_xml(days, currencies, one_line_per_day=True):
    """A reference-rate document in the layout of the bank's history files."""
    out = ['<?xml version="1.0" encoding="UTF-8"?><gesmes:Envelope xmlns:gesmes="http://www.gesmes.org/xml/2002-08-01"'
           ' xmlns="http://www.ecb.int/vocabulary/2002-08-01/eurofxref"><gesmes:subject>Reference rates</gesmes:subject>'
           '<gesmes:Sender><gesmes:name>European Central Bank</gesmes:name></gesmes:Sender><Cube>']
    for i, day in enumerate(days):
        cubes = "".join('<Cube currency="%s" rate="%s"/>' % (c, ("%.4f" % rate_of(k, i)).rstrip("0").rstrip("."))
                        for k, c in enumerate(currencies))
        out.append('<Cube time="%s">%s</Cube>' % (day.isoformat(), cubes) + ("\n" if one_line_per_day else ""))
    out.append("</Cube></gesmes:Envelope>")
    return "".join(out).encode()


def bank_csv(days, currencies):
    lines = ["Date," + ",".join(currencies) + ","]
    for i, day in enumerate(days):
        lines.append(day.isoformat() + "," + ",".join(
            ("%.4f" % rate_of(k, i)).rstrip("0").rstrip(".") for k in range(len(currencies))) + ",")
    return ("\n".join(lines) + "\n").encode()


def shell_insert_rows(path, rows):
    """The shell inserting the same rows in one transaction: the comparison for back-fill."""
    sql = ["BEGIN;"]
    sql += ["INSERT INTO Storico_Valute VALUES('%s','%s',%s,'%s','');" % r for r in rows]
    sql.append("COMMIT;")
    return "\n".join(sql)


def four_pair_rows(days, currencies):
    wanted = {code.split("/")[1]: (code, desc) for code, desc in PAIRS}
    rows = []
    for i, day in enumerate(days):
        for k, c in enumerate(currencies):
            if c in wanted:
                rows.append((wanted[c][0], day.strftime("%Y%m%d"), ("%.4f" % rate_of(k, i)).rstrip("0").rstrip("."),
                             wanted[c][1]))
    return rows


def bench_backfill(args):
    """The first --batch run on an empty history: the daily file, then the full history behind it."""
    today = datetime.date.today()
    days = working_days(today, args.days)
    # The four pairs' currencies alone, or every currency of the bank's files as the real full
    # history carries them (a file ten times larger to read for the same rows).
    currencies = ["USD", "JPY", "GBP", "CHF"] if args.currencies == "four" else list(BANK_CURRENCIES)
    server = Server({"/stats/eurofxref-daily.xml": reference_xml(days[:1], currencies, False),
                     "/stats/eurofxref-hist.xml": reference_xml(days, currencies),
                     "/stats/eurofxref-hist-90d.xml": reference_xml(days[:64], currencies)})
    folder = tempfile.mkdtemp(prefix="bench-backfill-")
    try:
        base = os.path.join(folder, "base")
        make_data_dir(base, 0)
        work = os.path.join(folder, "work")

        def fresh():
            shutil.rmtree(work, ignore_errors=True)
            shutil.copytree(base, work)

        rows = four_pair_rows(days, currencies)
        database = os.path.join(work, "VALUTE.MDB")

        def stored_all():
            if record_count(database) != len(rows):
                raise SystemExit("%d records stored, %d expected" % (record_count(database), len(rows)))

        job_cpu, shell_cpu = [], []
        job, peak = medians(args.runs, fresh, [args.exe, "--batch", "--data-dir", work, "--page-url",
                                               server.url("/stats/eurofxref-daily.xml")], run_env(), stored_all, job_cpu)
        script = os.path.join(folder, "insert.sql")
        with open(script, "w") as f:
            f.write(shell_insert_rows(None, rows))
        shell, _ = medians(args.runs, fresh, ["sqlite3", database, f".read {script}"], None, stored_all, shell_cpu)
        job_cpu, shell_cpu = statistics.median(job_cpu), statistics.median(shell_cpu)
        report("Back-fill of %d days for four pairs from a history of %d currencies into an empty history, "
               "medians of %d runs" % (args.days, len(currencies), args.runs),
               [("", "program", "shell inserts in one transaction", "ratio", "peak memory"),
                ("wall", "%.3f s" % job, "%.3f s" % shell, ratio(job, shell), "%.0f MiB" % peak),
                ("CPU", "%.3f s" % job_cpu, "%.3f s" % shell_cpu, ratio(job_cpu, shell_cpu), "")])
    finally:
        shutil.rmtree(folder)


def record_count(path):
    out = subprocess.run(["sqlite3", path, "SELECT count(*) FROM Storico_Valute"], check=True,
                         stdout=subprocess.PIPE)
    return int(out.stdout)


def bench_csvimport(args):
    """--import of the bank's history CSV (41 currencies) against the shell's .import of the four pairs' rows."""
    # A fixed last day keeps the data the same from run to run, and every day after the euro's first.
    days = working_days(datetime.date(2026, 4, 17), args.days)
    folder = tempfile.mkdtemp(prefix="bench-csv-")
    try:
        base = os.path.join(folder, "base")
        make_data_dir(base, 0)
        csv_path = os.path.join(folder, "eurofxref-hist.csv")
        with open(csv_path, "wb") as f:
            f.write(bank_csv(days, BANK_CURRENCIES))
        rows_csv = os.path.join(folder, "rows.csv")
        rows = four_pair_rows(days, BANK_CURRENCIES)
        with open(rows_csv, "w") as f:
            for code, day, rate, desc in rows:
                f.write(f"{code},{day},{rate},{desc},\n")
        work = os.path.join(folder, "work")
        database = os.path.join(work, "VALUTE.MDB")

        def fresh():
            shutil.rmtree(work, ignore_errors=True)
            shutil.copytree(base, work)

        def stored_all():
            if record_count(database) != len(rows):
                raise SystemExit("%d records stored, %d expected" % (record_count(database), len(rows)))

        program = [args.exe, "--batch", "--data-dir", work, "--import", csv_path]
        jobs = [(fresh, program, run_env(), stored_all),
                (fresh, ["sqlite3", database, ".mode csv", f".import {rows_csv} Storico_Valute"], None, stored_all)]
        if args.baseline:
            jobs.append((fresh, [args.baseline] + program[1:], run_env(), stored_all))
        results = side_by_side(args.runs, jobs)
        (job, job_cpu, peak), (shell, shell_cpu, _) = results[:2]
        table = [("", "program", "shell .import of the four pairs' rows", "ratio", "peak memory"),
                 ("wall", "%.3f s" % job, "%.3f s" % shell, ratio(job, shell), "%.0f MiB" % peak),
                 ("CPU", "%.3f s" % job_cpu, "%.3f s" % shell_cpu, ratio(job_cpu, shell_cpu), "")]
        if args.baseline:
            base, base_cpu, base_peak = results[2]
            table += [("wall, baseline", "%.3f s" % base, "%.3f s" % shell, ratio(base, shell),
                       "%.0f MiB" % base_peak),
                      ("CPU, baseline", "%.3f s" % base_cpu, "%.3f s" % shell_cpu,
                       ratio(base_cpu, shell_cpu), "")]
        report("Import of the bank's CSV, %d days of %d currencies (%d records), medians of %d runs side by side"
               % (args.days, len(BANK_CURRENCIES), len(rows), args.runs), table)
    finally:
        shutil.rmtree(folder)


class PgServer:
    """A PostgreSQL server of the benchmark's own: a fresh cluster in a temporary folder, listening on a
    unix socket in it only, with the server's default (durable) settings."""

    def __init__(self):
        versions = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"),
                          key=lambda p: [int(x) for x in p.split("/")[4].split(".") if x.isdigit()])
        if not versions:
            raise SystemExit("PostgreSQL is not installed: run scripts/setup.sh --tests")
        self.bin = os.path.dirname(versions[-1])
        self.folder = tempfile.mkdtemp(prefix="bench-pg-")
        self.as_server = []
        if os.geteuid() == 0:
            account = pwd.getpwnam("postgres")
            os.chown(self.folder, account.pw_uid, account.pw_gid)
            self.as_server = ["runuser", "-u", "postgres", "--"]
        data = os.path.join(self.folder, "data")
        subprocess.run(self.as_server + [os.path.join(self.bin, "initdb"), "-D", data, "-U", "quotazioni",
                                         "-A", "trust", "-E", "UTF8", "--locale=C"],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(self.as_server + [os.path.join(self.bin, "pg_ctl"), "-D", data, "-l",
                                         os.path.join(self.folder, "server.log"), "-w", "-o",
                                         f"-c listen_addresses= -c unix_socket_directories='{self.folder}' -p 5432",
                                         "start"], check=True, stdout=subprocess.DEVNULL)

    def stop(self):
        subprocess.run(self.as_server + [os.path.join(self.bin, "pg_ctl"), "-D", os.path.join(self.folder, "data"),
                                         "-w", "-m", "fast", "stop"], stdout=subprocess.DEVNULL)
        shutil.rmtree(self.folder, ignore_errors=True)

    def url(self, database):
        return f"postgresql://quotazioni@/{database}?host={self.folder}&port=5432"

    def psql_command(self, database, *arguments):
        return [os.path.join(self.bin, "psql"), "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", self.folder, "-p", "5432",
                "-U", "quotazioni", "-d", database] + list(arguments)

    def psql(self, database, sql):
        out = subprocess.run(self.psql_command(database, "-A", "-t", "-c", sql), check=True, stdout=subprocess.PIPE)
        return out.stdout.decode().strip()


def bench_postgres(args):
    """Moving an SQLite history to the server with --import, and the --batch daily job listing from the
    server, against psql loading the same rows and running the same pair query."""
    schema = os.path.join(HERE, "..", "..", "packaging", "storico_valute.postgresql.sql")
    server = PgServer()
    folder = tempfile.mkdtemp(prefix="bench-postgres-")
    page = Server({"/page": LEGACY_PAGE})
    try:
        data = os.path.join(folder, "data")
        make_data_dir(data, 0)
        os.remove(os.path.join(data, "VALUTE.MDB"))  # the history is on the server
        moved = args.records[0]
        source = os.path.join(folder, "VALUTE.MDB")
        make_database(source, moved)
        rows_csv = os.path.join(folder, "rows.csv")
        subprocess.run(["sqlite3", "-csv", source, "SELECT * FROM Storico_Valute ORDER BY rowid"], check=True,
                       stdout=open(rows_csv, "w"))
        server.psql("postgres", "CREATE DATABASE valute")
        subprocess.run(server.psql_command("valute", "-f", schema), check=True)

        def empty():
            server.psql("valute", "TRUNCATE storico_valute")

        def stored_all():
            count = int(server.psql("valute", "SELECT count(*) FROM storico_valute"))
            if count != moved:
                raise SystemExit("%d records on the server, %d expected" % (count, moved))

        job_cpu, shell_cpu = [], []
        job, peak = medians(args.runs, empty, [args.exe, "--batch", "--data-dir", data, "--database",
                                               server.url("valute"), "--import", source], run_env(), stored_all, job_cpu)
        shell, _ = medians(args.runs, empty, server.psql_command("valute", "-c",
                                                                 f"\\copy storico_valute from '{rows_csv}' csv"),
                           None, stored_all, shell_cpu)
        report("Moving an SQLite history of %d records to the server, medians of %d runs" % (moved, args.runs),
               [("", "--batch --import", "psql \\copy of the same rows", "ratio", "peak memory"),
                ("wall", "%.3f s" % job, "%.3f s" % shell, ratio(job, shell), "%.0f MiB" % peak),
                ("CPU", "%.3f s" % statistics.median(job_cpu), "%.3f s" % statistics.median(shell_cpu), "", "")])

        rows = [("records", "--batch daily job", "psql, the pair's rows and the count", "ratio", "peak memory")]
        values = ",".join("(%d,'%s','%s')" % (i + 1, code, description) for i, (code, description) in enumerate(PAIRS))
        for records in args.records[1:]:
            empty()
            server.psql("valute", f"""
INSERT INTO storico_valute
SELECT p.code, to_char(date '1900-01-01' + (i / 4), 'YYYYMMDD'), 1.0 + (i % 4) + (i % 1000) / 10000.0,
       p.description, ''
FROM generate_series(0, {records} - 1) AS i JOIN (VALUES {values}) AS p(n, code, description) ON p.n = i % 4 + 1""")
            server.psql("valute", "VACUUM ANALYZE storico_valute")
            # The program and psql take turns, so that both see the same load on a busy machine.
            job_runs, floor_runs, base_runs = [], [], []
            daily = ["--batch", "--data-dir", data, "--database", server.url("valute"), "--page-url", page.url("/page")]
            for _ in range(args.runs):
                job_runs.append(medians(1, None, [args.exe] + daily, run_env()))
                if args.baseline:
                    base_runs.append(medians(1, None, [args.baseline] + daily, run_env()))
                floor_runs.append(medians(1, None, server.psql_command(
                    "valute", "-o", "/dev/null", "-c",
                    "SELECT * FROM storico_valute WHERE tipo_valuta = 'EUR/USD' ORDER BY data_valuta",
                    "-c", "SELECT count(*) FROM storico_valute")))
            job, peak = statistics.median(w for w, _ in job_runs), max(p for _, p in job_runs)
            floor = statistics.median(w for w, _ in floor_runs)
            rows.append((f"{records:,}", "%.3f s" % job, "%.3f s" % floor, ratio(job, floor), "%.0f MiB" % peak))
            if args.baseline:
                base, base_peak = statistics.median(w for w, _ in base_runs), max(p for _, p in base_runs)
                rows.append((f"{records:,}, baseline", "%.3f s" % base, "%.3f s" % floor, ratio(base, floor),
                             "%.0f MiB" % base_peak))
        report("Daily job with the history on the server, medians of %d runs" % args.runs, rows)
    finally:
        server.stop()
        shutil.rmtree(folder)


def bench_longlist(args):
    """The --batch daily job with a currency list of `lines` lines (the four pairs over and over) on a
    small legacy page and on one of 15 MiB that names the pairs only at its end, against the shell's
    replacing of as many records in one transaction."""
    filler = b"<p>" + b"x" * (15 * 1024 * 1024) + b"</p>"
    server = Server({"/small": LEGACY_PAGE, "/large": LEGACY_PAGE.replace(b"<body>", b"<body>" + filler)})
    folder = tempfile.mkdtemp(prefix="bench-longlist-")
    try:
        base = os.path.join(folder, "base")
        make_data_dir(base, 0)
        with open(os.path.join(base, "zantoro.TXT"), "w", newline="\r\n") as f:
            f.write("".join(PAIRS[i % 4][0] + "\n" for i in range(args.lines)))
        work = os.path.join(folder, "work")

        def fresh():
            shutil.rmtree(work, ignore_errors=True)
            shutil.copytree(base, work)

        database = os.path.join(work, "VALUTE.MDB")

        def stored_four():
            if record_count(database) != 4:
                raise SystemExit("%d records stored, 4 expected" % record_count(database))

        today = datetime.date.today().strftime("%Y%m%d")
        script = os.path.join(folder, "replace.sql")
        with open(script, "w") as f:
            f.write("BEGIN;\n")
            for i in range(args.lines):
                code, description = PAIRS[i % 4]
                f.write("DELETE FROM Storico_Valute WHERE Tipo_Valuta = '%s' AND Data_Valuta = '%s';\n"
                        "INSERT INTO Storico_Valute VALUES ('%s', '%s', 1.0871, '%s', '');\n"
                        % (code, today, code, today, description))
            f.write("COMMIT;\n")
        shell, _ = medians(args.runs, fresh, ["sqlite3", database, f".read {script}"], None, stored_four)
        rows = [("page", "--batch daily job", "shell replacing as many records", "ratio", "peak memory")]
        for name in ("small", "large"):
            job, peak = medians(args.runs, fresh, [args.exe, "--batch", "--data-dir", work, "--page-url",
                                                   server.url("/" + name)], run_env(), stored_four)
            rows.append((name, "%.3f s" % job, "%.3f s" % shell, ratio(job, shell), "%.0f MiB" % peak))
        report("Daily job with a currency list of %d lines, medians of %d runs" % (args.lines, args.runs), rows)
    finally:
        shutil.rmtree(folder)


def process_cpu_ticks(pid):
    """User plus system clock ticks the process has used so far; None once it has ended."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])
    except (OSError, IndexError):
        return None


def child_of(pid, timeout=10.0):
    """The one child process of pid (the program started by /usr/bin/time)."""
    end = time.perf_counter() + timeout
    while time.perf_counter() < end:
        try:
            with open(f"/proc/{pid}/task/{pid}/children") as f:
                children = f.read().split()
            if children:
                return int(children[0])
        except OSError:
            pass
        time.sleep(0.001)
    raise SystemExit("the program did not start")


class Screen:
    """A connection to the X server that reads the root window's pixels (the core GetImage request),
    so that watching for the first paint costs no process of its own."""

    def __init__(self, display):
        import socket
        import struct
        self.struct = struct
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(f"/tmp/.X11-unix/X{display.lstrip(':')}")
        self.sock.sendall(struct.pack("<BxHHHHxx", 0x6C, 11, 0, 0, 0))
        head = self.read(8)
        if head[0] != 1:
            raise SystemExit("the X server refused the connection")
        setup = self.read(struct.unpack("<H", head[6:8])[0] * 4)
        vendor_length, = struct.unpack("<H", setup[16:18])
        formats = setup[21]
        screen = 32 + (vendor_length + 3) // 4 * 4 + 8 * formats
        self.root, = struct.unpack("<I", setup[screen:screen + 4])
        self.width, self.height = struct.unpack("<HH", setup[screen + 20:screen + 24])

    def read(self, size):
        data = bytearray(size)
        view, got = memoryview(data), 0
        while got < size:
            count = self.sock.recv_into(view[got:])
            if not count:
                raise SystemExit("the X server closed the connection")
            got += count
        return data

    def painted(self):
        """Whether anything but the black background is on the screen: one bit plane is enough (the top
        bit of blue, set in the light grey of a window's background and in white)."""
        self.sock.sendall(self.struct.pack("<BBHIhhHHI", 73, 1, 5, self.root, 0, 0, self.width, self.height, 0x80))
        reply = self.read(32)
        if reply[0] != 1:
            raise SystemExit("the X server could not give the screen's pixels")
        pixels = self.read(self.struct.unpack("<I", reply[4:8])[0] * 4)
        return bool(pixels.strip(b"\x00"))

    def close(self):
        self.sock.close()


class XServer:
    """Xvfb on a free display, black background, stopped at the end."""

    def __init__(self):
        for number in range(90, 140):
            if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(f"/tmp/.X{number}-lock"):
                break
        self.display = f":{number}"
        self.process = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "800x600x24", "-br", "-nolisten",
                                         "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        end = time.perf_counter() + 10
        while not os.path.exists(f"/tmp/.X11-unix/X{number}"):
            if time.perf_counter() > end or self.process.poll() is not None:
                raise SystemExit("Xvfb did not start")
            time.sleep(0.05)

    def stop(self):
        self.process.terminate()
        self.process.wait()


def window_run(exe, folder, page_url, display, screen, quiet=0.5):
    """One start of the window: seconds to the first paint, seconds to idle, peak MiB, CPU seconds."""
    env = run_env()
    env.update({"QT_QPA_PLATFORM": "xcb", "DISPLAY": display})
    start = time.perf_counter()
    timer = subprocess.Popen(["/usr/bin/time", "-v", exe, "--data-dir", folder, "--page-url", page_url],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    pid = child_of(timer.pid)
    painted = None
    ticks, last_change = process_cpu_ticks(pid), time.perf_counter()
    while True:
        now = time.perf_counter()
        if painted is None and screen.painted():
            painted = time.perf_counter() - start
        current = process_cpu_ticks(pid)
        if current is None:
            raise SystemExit("the program ended by itself: " + timer.communicate()[1].decode(errors="replace"))
        if current != ticks:
            ticks, last_change = current, now
        elif painted is not None and now - last_change >= quiet:
            break
        if now - start > 120:
            raise SystemExit("the program did not become idle within two minutes")
        time.sleep(0.005)
    idle = last_change - start
    os.kill(pid, 15)
    err = timer.communicate()[1]
    peak = re.search(rb"Maximum resident set size \(kbytes\): (\d+)", err)
    return painted, idle, (int(peak.group(1)) / 1024 if peak else 0.0), ticks / os.sysconf("SC_CLK_TCK")


def bench_window(args):
    """The window's start with a large history and with an empty one, in turn, on an X server of its own."""
    server = Server({"/page": LEGACY_PAGE})
    xserver = XServer()
    screen = Screen(xserver.display)
    folder = tempfile.mkdtemp(prefix="bench-window-")
    try:
        sizes = [args.records, 0]
        for records in sizes:
            make_data_dir(os.path.join(folder, str(records)), records)
        programs = [("", args.exe)] + ([(", baseline", args.baseline)] if args.baseline else [])
        starts = [(records, label, exe) for label, exe in programs for records in sizes]
        results = {start: [] for start in starts}
        for round_number in range(args.runs):
            shift = round_number % len(starts)
            for start in starts[shift:] + starts[:shift]:
                records, _, exe = start
                results[start].append(window_run(exe, os.path.join(folder, str(records)), server.url("/page"),
                                                 xserver.display, screen))
        rows = [("records", "first paint", "idle", "CPU time to idle", "peak memory")]
        for start in starts:
            runs = results[start]
            rows.append((f"{start[0]:,}{start[1]}", "%.3f s" % statistics.median(r[0] for r in runs),
                         "%.3f s" % statistics.median(r[1] for r in runs),
                         "%.3f s" % statistics.median(r[3] for r in runs), "%.0f MiB" % max(r[2] for r in runs)))
        report("Window start, medians of %d runs in turn (first paint and idle from the start of the process)"
               % args.runs, rows)
    finally:
        screen.close()
        xserver.stop()
        shutil.rmtree(folder)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("benchmark", choices=["startup", "import", "backfill", "csvimport", "postgres",
                                              "longlist", "window"])
    parser.add_argument("--exe", default=os.path.join(HERE, "..", "..", "build", "quotazioni"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--baseline", help="startup, import, csvimport, window, postgres: another build of the program, "
                        "run in the same rounds and reported on rows of its own (to compare a change with what "
                        "it replaces)")
    parser.add_argument("--records", type=int, nargs="+", default=None)
    parser.add_argument("--lines", type=int, default=100000)
    parser.add_argument("--days", type=int, default=7000)
    parser.add_argument("--currencies", choices=["four", "bank"], default="four",
                        help="backfill: the history file holds the four pairs' currencies or all the bank's")
    parser.add_argument("--baseline-without-index", action="store_true",
                        help="startup, import: the baseline works on a copy of the data whose database lacks "
                             "the index of unreadable quotes, as a build before that index left it (with the "
                             "index, such a build's identical query would read it too)")
    parser.add_argument("--without-index", action="store_true",
                        help="startup: the index of unreadable quotes is dropped before every run of the "
                             "program, so that each run is the first open of a file made before it")
    args = parser.parse_args()
    args.exe = os.path.abspath(args.exe)
    args.baseline = args.baseline and os.path.abspath(args.baseline)
    if args.benchmark == "startup":
        args.records = args.records or [0, 28000, 1000000]
        bench_startup(args)
    elif args.benchmark == "import":
        args.records = (args.records or [1000000])[0]
        bench_import(args)
    elif args.benchmark == "backfill":
        bench_backfill(args)
    elif args.benchmark == "longlist":
        bench_longlist(args)
    elif args.benchmark == "window":
        args.records = (args.records or [1000000])[0]
        bench_window(args)
    elif args.benchmark == "postgres":
        args.records = args.records or [28000, 1000000]
        bench_postgres(args)
    else:
        bench_csvimport(args)


if __name__ == "__main__":
    main()
