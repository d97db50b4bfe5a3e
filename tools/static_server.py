"""nginx serving a site's folder as the office's guide sets it up: the page
revalidated at every load, the buckets and the program cached for good. Started on
127.0.0.1 with a configuration written here, never as a system service;
used by the site's tests and benchmarks.

With twins, it sends a file's precompressed twin (FILE.br, FILE.gz) to a
browser that takes it, as the guide's configuration does; without, the
files as they are, so that a test that damages a file sees the damage.

Started as root, nginx's workers run as nobody: the folder and every folder
above it must be readable by others."""
import os
import signal
import socket
import subprocess
import time

CONFIG = """{modules}daemon on;
pid {work}/nginx.pid;
error_log {work}/error.log;
worker_processes {workers};
events {{ worker_connections 1024; }}
http {{
    include /etc/nginx/mime.types;
    default_type application/octet-stream;
    access_log {access};
    client_body_temp_path {work}/body;
    proxy_temp_path {work}/proxy;
    fastcgi_temp_path {work}/fastcgi;
    uwsgi_temp_path {work}/uwsgi;
    scgi_temp_path {work}/scgi;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 100000;
{twins}    server {{
        listen 127.0.0.1:{port};
        root {root};
        # The page: asked for again at every load, so that a new packing is
        # seen at once.
        location = /index.html {{ add_header Cache-Control "no-cache"; }}
        location = / {{ add_header Cache-Control "no-cache"; index index.html; }}
        # A packing's buckets never change: a new packing has a new folder.
        # The program's file is named by its hash.
        location ~ \\.(bin|wasm|js)$ {{
            add_header Cache-Control "public, max-age=31536000, immutable";
        }}
    }}
}}
"""
TWINS = """    gzip_static on;
    brotli_static on;
    gzip_vary on;
"""
BROTLI_STATIC = "load_module /usr/lib/nginx/modules/ngx_http_brotli_static_module.so;\n"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Nginx:
    """nginx serving `root` on a free local port; `work` holds its files."""

    def __init__(self, root, work, workers=1, access_log=True, twins=False):
        self.root, self.work, self.port = os.path.abspath(root), os.path.abspath(work), free_port()
        os.makedirs(self.work, exist_ok=True)
        self.config = os.path.join(self.work, "nginx.conf")
        with open(self.config, "w") as f:
            f.write(CONFIG.format(modules=BROTLI_STATIC if twins else "", twins=TWINS if twins else "",
                                  work=self.work, root=self.root, port=self.port, workers=workers,
                                  access=os.path.join(self.work, "access.log") if access_log else "off"))
        self.url = "http://127.0.0.1:%d/" % self.port
        self.start()

    def start(self):
        subprocess.run(["nginx", "-e", os.path.join(self.work, "error.log"), "-c", self.config], check=True)
        for _ in range(100):  # until it answers
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("nginx did not start: see " + os.path.join(self.work, "error.log"))

    def stop(self):
        pid_file = os.path.join(self.work, "nginx.pid")
        with open(pid_file) as f:
            pid = int(f.read())
        os.kill(pid, signal.SIGTERM)
        for _ in range(200):
            if not os.path.exists(pid_file):
                return
            time.sleep(0.05)
        raise RuntimeError("nginx did not stop")

    def requested(self):
        """The paths asked for so far, from the access log."""
        with open(os.path.join(self.work, "access.log")) as f:
            return [line.split('"')[1].split(" ")[1] for line in f if '"' in line]
