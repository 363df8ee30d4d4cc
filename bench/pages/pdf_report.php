<?php
// DejaVu Sans: the definition makefont made of it in the working directory;
// Helvetica: FPDF's own font files.
if (($argv[1] ?? 'DejaVu') == 'DejaVu') define('FPDF_FONTPATH', './');
require '/usr/share/php/fpdf/fpdf.php';
$para = "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat. Duis aute irure dolor in reprehenderit in voluptate velit esse cillum dolore eu fugiat nulla pariatur. Excepteur sint occaecat cupidatat non proident, sunt in culpa qui officia deserunt mollit anim id est laborum.";
$pdf = new FPDF('P', 'pt', array(595, 841));
$pdf->SetAutoPageBreak(false);
$font = $argv[1] ?? 'DejaVu';
if ($font == 'DejaVu') $pdf->AddFont('DejaVu', '', 'DejaVuSans.php');
for ($p = 1; $p <= 100; $p++) {
  $pdf->AddPage();
  $pdf->SetFont($font, '', 16);
  $pdf->SetXY(50, 40);
  $pdf->Cell(495, 24, "Report page $p");
  $pdf->SetFont($font, '', 10);
  $pdf->SetXY(50, 80);
  $pdf->MultiCell(300, 12, "$para $para");
  $pdf->Image('photo.jpg', 370, 80, 175, 0);
  $pdf->SetLineWidth(1);
  for ($r = 0; $r <= 10; $r++) $pdf->Line(50, 300 + $r * 20, 545, 300 + $r * 20);
  for ($c = 0; $c <= 4; $c++) $pdf->Line(50 + $c * 124, 300, 50 + $c * 124, 500);
  for ($r = 0; $r < 10; $r++) {
    $pdf->SetXY(52, 300 + $r * 20);
    $pdf->Cell(120, 20, "Row $r");
    $pdf->SetXY(176, 300 + $r * 20);
    $pdf->Cell(120, 20, "$p.$r");
  }
}
$pdf->Output('F', 'report.pdf');
echo "done\n";
