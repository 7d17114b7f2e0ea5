# shellcheck shell=bash
# A local nginx as a benchmark's origin server: source it after ports.sh.
#   start_nginx_origin FOLDER WORKERS CONNECTIONS [LINE..]
#     serves FOLDER on a free loopback port with WORKERS processes of
#     CONNECTIONS connections each, each LINE added to its http block; its
#     configuration, logs and temporary files in $WORK/nginx. Sets
#     NGINX_PORT, adds its pid to PIDS and returns once it listens.

start_nginx_origin() {
  local folder=$1 workers=$2 connections=$3 line extra=
  shift 3
  for line in "$@"; do extra+="  $line"$'\n'; done
  NGINX_PORT=$(free_port)
  mkdir -p "$WORK/nginx"
  cat >"$WORK/nginx/nginx.conf" <<CONF
worker_processes $workers;
daemon off;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/error.log;
events { worker_connections $connections; }
http {
  access_log off;
${extra}  client_body_temp_path $WORK/nginx/body;
  proxy_temp_path $WORK/nginx/proxy;
  fastcgi_temp_path $WORK/nginx/fastcgi;
  uwsgi_temp_path $WORK/nginx/uwsgi;
  scgi_temp_path $WORK/nginx/scgi;
  server { listen 127.0.0.1:$NGINX_PORT; root $folder; }
}
CONF
  nginx -c "$WORK/nginx/nginx.conf" -p "$WORK/nginx" 2>"$WORK/nginx/stderr" &
  PIDS+=($!)
  wait_port "$NGINX_PORT"
}
