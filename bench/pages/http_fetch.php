<HTML><?php
$port = getenv("KWL_BENCH_HTTP_PORT");
$ok = 0;
for ($i = 0; $i < 100; $i++) {
  $c = file_get_contents("http://127.0.0.1:$port/doc100k.html");
  if (strlen($c) >= 102400) $ok++;
}
echo "\n$ok documents fetched\n";
