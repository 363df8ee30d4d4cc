<HTML><?php
$doc = new DOMDocument();
$doc->load(__DIR__ . '/feed.xml');
$xpath = new DOMXPath($doc);
foreach ($xpath->query('/rss/channel/item') as $item) {
    echo $xpath->query('title', $item)->item(0)->textContent, '|',
        $xpath->query('link', $item)->item(0)->textContent, "\n";
}
?>
