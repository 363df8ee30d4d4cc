<HTML><HEAD>
<meta name="generator" content="KWL Technologies v3.8rc6"><TITLE><?=$title?></TITLE></HEAD><BODY>
<DIV CLASS="top"><A HREF="/">Tea shop</A> | <A HREF="/cart">Cart</A> | visit <?=$_SESSION['visits']?></DIV>
