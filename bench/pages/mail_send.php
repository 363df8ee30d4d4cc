<HTML><?php
require '/usr/share/php/libphp-phpmailer/autoload.php';
use PHPMailer\PHPMailer\PHPMailer;
$port = getenv("KWL_BENCH_SMTP_PORT");
$ok = 0;
for ($i = 0; $i < 50; $i++) {
  $mail = new PHPMailer();
  $mail->isSMTP();
  $mail->Host = "127.0.0.1";
  $mail->Port = (int)$port;
  $mail->SMTPAuth = false;
  $mail->SMTPAutoTLS = false;
  $mail->setFrom("bench@example.org", "Bench");
  $mail->addAddress("sink@example.org");
  $mail->Subject = "Report $i";
  $mail->isHTML(true);
  $mail->addEmbeddedImage("logo.png", "logo");
  $mail->Body = "<html><body><p>Report</p><img src=\"cid:logo\"></body></html>\n";
  $mail->addAttachment("report.bin");
  if ($mail->send()) $ok++;
}
echo "\n$ok mails sent\n";
