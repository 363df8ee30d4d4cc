"""The commands of the test servers (tests/*/*_server.py), which give their
own `serve`:
  start DIR        makes a certificate, starts `serve DIR` detached and waits
                   for DIR/env, which it prints
  stop DIR         stops them
  run DIR CMD...   runs CMD with DIR/env in its environment
  serve DIR        the servers themselves (what start runs)
"""
import os
import shutil
import signal
import subprocess
import sys
import time


def publish(directory, lines):
    """Writes DIR/env whole (start waits for it), then serves until stopped."""
    env_file = os.path.join(directory, "env")
    with open(env_file + ".tmp", "w") as out:
        out.write("\n".join(lines) + "\n")
    os.rename(env_file + ".tmp", env_file)
    signal.sigwait({signal.SIGTERM, signal.SIGINT})


def start(directory, script, cert_args, fresh):
    stop(directory)
    os.makedirs(directory, exist_ok=True)
    env_file = os.path.join(directory, "env")
    if os.path.exists(env_file):
        os.remove(env_file)
    for name in fresh:
        shutil.rmtree(os.path.join(directory, name), ignore_errors=True)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:P-256", "-nodes", "-days", "2", "-subj", "/CN=localhost",
                    *cert_args, "-keyout", os.path.join(directory, "key.pem"),
                    "-out", os.path.join(directory, "cert.pem")],
                   check=True, capture_output=True)
    log = open(os.path.join(directory, "server.log"), "w")
    child = subprocess.Popen([sys.executable, script, "serve", directory], stdin=subprocess.DEVNULL,
                             stdout=log, stderr=log, start_new_session=True)
    with open(os.path.join(directory, "server.pid"), "w") as out:
        out.write(str(child.pid))
    for _ in range(200):
        if os.path.exists(env_file):
            print(open(env_file).read(), end="")
            return 0
        if child.poll() is not None:
            break
        time.sleep(0.05)
    print("the test servers did not start; see", log.name, file=sys.stderr)
    return 1


def stop(directory):
    try:
        pid = int(open(os.path.join(directory, "server.pid")).read())
        os.kill(pid, signal.SIGTERM)
    except (OSError, ValueError):
        pass
    return 0


def run(directory, command):
    env = dict(os.environ)
    for line in open(os.path.join(directory, "env")):
        name, _, value = line.strip().partition("=")
        env[name] = value
    os.execvpe(command[0], command, env)


def main(argv, doc, script, serve, cert_args=(), fresh=()):
    mode, directory = (argv[1], os.path.abspath(argv[2])) if len(argv) >= 3 else (None, None)
    if mode == "serve":
        signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT})
        serve(directory)
        return 0
    if mode == "start":
        return start(directory, script, cert_args, fresh)
    if mode == "stop":
        return stop(directory)
    if mode == "run":
        return run(directory, argv[3:])
    print(doc, file=sys.stderr)
    return 2


def start_mariadb(directory, restart=False):
    """A private MariaDB server in DIR (tests/db/start-mariadb.sh): its KWL_DB_* names."""
    subprocess.run([os.path.join(os.path.dirname(os.path.abspath(__file__)), "db", "start-mariadb.sh"),
                    directory] + (["--restart"] if restart else []), check=True,
                   stdout=subprocess.DEVNULL)
    env = {}
    with open(os.path.join(directory, "env")) as f:
        for line in f:
            name, _, value = line.removeprefix("export ").strip().partition("=")
            env[name] = value
    return env


def kill_mariadb(directory):
    with open(os.path.join(directory, "mysqld.pid")) as f:
        os.kill(int(f.read().strip()), signal.SIGKILL)
