#!/usr/bin/env python3
"""A Postfix of its own on a free loopback port, for the SMTP relay's tests
and benchmark.

    postfix_peer.py FOLDER [name=value ...]

Writes its configuration and queue under FOLDER and delivers every mail
for example.net (one file per mail and recipient) into the maildir
FOLDER/box/new. Prints "port <n>" once it answers, and stops its Postfix
when it gets SIGTERM or SIGINT. Further name=value settings go to its
main.cf.
"""
import os
import signal
import socket
import subprocess
import sys
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    folder = os.path.abspath(sys.argv[1])
    extra = sys.argv[2:]
    config = os.path.join(folder, "config")
    queue = os.path.join(folder, "queue")
    data = os.path.join(folder, "data")
    for path in (config, queue, data):
        os.makedirs(path, exist_ok=True)
    os.chmod(folder, 0o755)
    # Postfix's daemons run as its own user: they must reach the folder.
    parent = os.path.dirname(folder)
    os.chmod(parent, os.stat(parent).st_mode | 0o111)
    subprocess.run(["chown", "postfix", data], check=True)
    for sub in ("box", "box/new", "box/cur", "box/tmp"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
        subprocess.run(["chown", "postfix", os.path.join(folder, sub)], check=True)
    uid = subprocess.run(["id", "-u", "postfix"], capture_output=True, text=True).stdout.strip()
    gid = subprocess.run(["id", "-g", "postfix"], capture_output=True, text=True).stdout.strip()
    port = free_port()
    main_cf = [
        "compatibility_level = 3.6",
        "queue_directory = " + queue,
        "data_directory = " + data,
        "myhostname = postfix.test.invalid",
        "mydomain = test.invalid",
        "mydestination =",
        "inet_interfaces = 127.0.0.1",
        "inet_protocols = ipv4",
        "mynetworks = 127.0.0.0/8",
        "virtual_mailbox_domains = example.net",
        "virtual_mailbox_base = " + folder,
        "virtual_mailbox_maps = static:box/",
        "virtual_minimum_uid = 1",
        "virtual_uid_maps = static:" + uid,
        "virtual_gid_maps = static:" + gid,
        "virtual_destination_concurrency_limit = 50",
        "virtual_destination_recipient_limit = 1",
        "smtpd_relay_restrictions = permit_mynetworks, reject",
        "smtp_host_lookup = native",
        "disable_dns_lookups = yes",
        "maillog_file = " + os.path.join(folder, "maillog"),
        "maillog_file_prefixes = " + folder,
        "alias_maps =",
        "alias_database =",
        "message_size_limit = 0",
        "mailbox_size_limit = 0",
        "virtual_mailbox_limit = 0",
        "smtpd_client_connection_rate_limit = 0",
        "smtpd_client_message_rate_limit = 0",
        "default_process_limit = 200",
        "queue_run_delay = 1s",
        "minimal_backoff_time = 1s",
        "maximal_backoff_time = 2s",
    ] + extra
    with open(os.path.join(config, "main.cf"), "w") as f:
        f.write("\n".join(main_cf) + "\n")
    with open("/etc/postfix/master.cf") as f:
        master = f.read()
    lines = []
    for line in master.splitlines():
        fields = line.split()
        if fields and fields[0] == "smtp" and len(fields) > 1 and fields[1] == "inet":
            line = "127.0.0.1:%d inet n - n - - smtpd" % port
        elif len(fields) >= 8 and not line[0].isspace() and not line.startswith("#"):
            fields[4] = "n"  # no chroot: the queue is in a temp folder
            line = " ".join(fields)
        lines.append(line)
    with open(os.path.join(config, "master.cf"), "w") as f:
        f.write("\n".join(lines) + "\n")
    env = dict(os.environ, MAIL_CONFIG=config)
    # Its master inherits the output: a pipe here would never end.
    with open(os.path.join(folder, "start.out"), "w+") as out:
        started = subprocess.run(["postfix", "-c", config, "start"], env=env, stdin=subprocess.DEVNULL,
                                 stdout=out, stderr=out)
        if started.returncode != 0:
            out.seek(0)
            print(out.read(), file=sys.stderr, flush=True)
            return 1

    stopping = []

    def stop(*_):
        stopping.append(1)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    try:
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)
        print("port %d" % port, flush=True)
        while not stopping:
            time.sleep(0.1)
    finally:
        subprocess.run(["postfix", "-c", config, "stop"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Its daemons end with the master; wait a little for them.
        pidfile = os.path.join(queue, "pid", "master.pid")
        for _ in range(100):
            if not os.path.exists(pidfile):
                break
            time.sleep(0.05)
    return 0


if __name__ == "__main__":
    sys.exit(main())
